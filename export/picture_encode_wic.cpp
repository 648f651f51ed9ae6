// PNG through Windows Imaging Component, Windows' own encoder.
#include "export/picture_encode.h"

#include <windows.h>
#include <objidl.h>
#include <wincodec.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Releases a COM object when it goes.
template <typename T>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr()
    {
        if (m_p)
            m_p->Release();
    }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    T** operator&() { return &m_p; }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }

private:
    T* m_p = nullptr;
};

// COM on this thread for the object's life: the frames are encoded on several threads.
class CComThread {
public:
    CComThread() : m_result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~CComThread()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    CComThread(const CComThread&) = delete;
    CComThread& operator=(const CComThread&) = delete;
    // A thread already in the other apartment model may use COM as it is.
    bool Ok() const { return SUCCEEDED(m_result) || m_result == RPC_E_CHANGED_MODE; }

private:
    HRESULT m_result;
};

std::string Failed(const char* step, HRESULT result)
{
    char line[96];
    (void)std::snprintf(line, sizeof line, "the PNG encoder failed to %s (0x%08lx)", step,
                        static_cast<unsigned long>(result));
    return line;
}

}  // namespace

std::string EncodePng(int width, int height, int channels, const std::vector<std::uint8_t>& pixelsBottomUp,
                      std::vector<unsigned char>& png)
{
    const CComThread com;
    if (!com.Ok())
        return "COM cannot be started for the PNG encoder";
    CComPtr<IWICImagingFactory> factory;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(&factory));
    if (FAILED(result))
        return Failed("start", result);
    CComPtr<IStream> stream;
    if (result = CreateStreamOnHGlobal(nullptr, TRUE, &stream); FAILED(result))
        return Failed("make its stream", result);
    CComPtr<IWICBitmapEncoder> encoder;
    if (result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder); FAILED(result))
        return Failed("start", result);
    if (result = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache); FAILED(result))
        return Failed("start", result);
    CComPtr<IWICBitmapFrameEncode> frame;
    if (result = encoder->CreateNewFrame(&frame, nullptr);
        FAILED(result) || FAILED(result = frame->Initialize(nullptr)))
        return Failed("make a frame", result);
    if (result = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)); FAILED(result))
        return Failed("take the size", result);
    WICPixelFormatGUID format = channels == 4 ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
    const WICPixelFormatGUID wanted = format;
    if (result = frame->SetPixelFormat(&format); FAILED(result) || !IsEqualGUID(format, wanted))
        return Failed("take the pixels' format", FAILED(result) ? result : E_FAIL);
    // Rows top-down, blue first, as WIC takes them.
    const std::size_t row = static_cast<std::size_t>(width) * channels;
    std::vector<BYTE> rows(row * height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = &pixelsBottomUp[static_cast<std::size_t>(height - 1 - y) * row];
        BYTE* to = &rows[static_cast<std::size_t>(y) * row];
        std::memcpy(to, from, row);
        for (std::size_t x = 0; x < row; x += static_cast<std::size_t>(channels))
            std::swap(to[x], to[x + 2]);
    }
    if (result = frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(row), static_cast<UINT>(rows.size()),
                                    rows.data());
        FAILED(result))
        return Failed("take the pixels", result);
    if (result = frame->Commit(); FAILED(result) || FAILED(result = encoder->Commit()))
        return Failed("finish", result);
    HGLOBAL memory = nullptr;
    if (result = GetHGlobalFromStream(stream.get(), &memory); FAILED(result))
        return Failed("give its bytes", result);
    STATSTG about{};
    if (result = stream->Stat(&about, STATFLAG_NONAME); FAILED(result))
        return Failed("give its bytes", result);
    const void* bytes = GlobalLock(memory);
    if (!bytes)
        return Failed("give its bytes", E_OUTOFMEMORY);
    const auto* begin = static_cast<const unsigned char*>(bytes);
    png.assign(begin, begin + about.cbSize.QuadPart);
    GlobalUnlock(memory);
    return {};
}
