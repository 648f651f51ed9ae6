// The Windows floor, run under Wine: names reach their files in any script, and every way a
// file cannot be read or written is one line, with nothing half-written left.
#include "core/files.h"
#include "core/windows_text.h"
#include "export/picture_encode.h"
#include "export/safe_file.h"

#include <windows.h>
#include <objidl.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A folder of its own under the system's temporary folder, gone with the object.
class CTempFolder {
public:
    CTempFolder()
    {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        m_path = Narrow(base) + "lumetta-test-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(Widen(m_path).c_str(), nullptr);
    }
    ~CTempFolder()
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((Widen(m_path) + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring file = Widen(m_path) + L"\\" + found.cFileName;
                SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(file.c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(Widen(m_path).c_str());
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

std::vector<unsigned char> ReadAll(const std::string& name)
{
    std::string reason;
    std::FILE* file = OpenRegularFile(name.c_str(), reason);
    std::vector<unsigned char> bytes;
    if (!file)
        return bytes;
    for (int c; (c = std::fgetc(file)) != EOF;)
        bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(file);
    return bytes;
}

// Catches a name taken through the ANSI code page: Japanese, an accent and a character
// beyond the first 65536 (a surrogate pair) reach the same file, written and read back.
TEST(WindowsFilesTest, ANameInAnyScriptReachesItsFile)
{
    const CTempFolder folder;
    const std::string name = folder / "\xE3\x83\xAA\xE3\x83\xBC\xE3\x82\xB9 caf\xC3\xA9 \xF0\x9F\x8E\x84.png";
    EXPECT_EQ(Narrow(Widen(name)), name);
    const std::vector<unsigned char> bytes = {1, 2, 3, 0, 255};
    ASSERT_EQ(WriteFileSafely(name, bytes), "");
    EXPECT_TRUE(FileExists(name));
    EXPECT_EQ(ReadAll(name), bytes);
    EXPECT_NE(GetFileAttributesW(Widen(name).c_str()), INVALID_FILE_ATTRIBUTES);
}

// Catches a failure said as success, a message in the system's words of another language, or
// a file left half-written or changed: each way a write fails is one line, and the file
// that was there stays as it was.
TEST(WindowsFilesTest, AWriteThatCannotBeDoneSaysWhyAndLeavesEverythingAsItWas)
{
    const CTempFolder folder;
    const std::string kept = folder / "kept.png";
    ASSERT_EQ(WriteFileSafely(kept, {7, 7, 7}), "");
    SetFileAttributesW(Widen(kept).c_str(), FILE_ATTRIBUTE_READONLY);
    struct Case {
        std::string name, said;
    };
    for (const Case& c : {Case{kept, "Permission denied"}, Case{folder / "no\\such\\folder.png", "No such file"},
                          Case{folder / "", "Is a directory"}}) {
        const std::string error = WriteFileSafely(c.name, {1, 2, 3});
        EXPECT_EQ(error.rfind("cannot write '", 0), 0u) << error;
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(CheckFileWritable(c.name), error);
    }
    EXPECT_EQ(ReadAll(kept), (std::vector<unsigned char>{7, 7, 7}));
    // Nothing else in the folder: no temporary file left behind.
    int files = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((Widen(folder / "*")).c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        files += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? 1 : 0;
    FindClose(search);
    EXPECT_EQ(files, 1);
}

// Catches a folder or a device read as the backdrop picture.
TEST(WindowsFilesTest, OnlyAFileOnADiskIsRead)
{
    const CTempFolder folder;
    std::string reason;
    EXPECT_EQ(OpenRegularFile((folder / "").c_str(), reason), nullptr);
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_EQ(OpenRegularFile("NUL", reason), nullptr);
    EXPECT_EQ(reason, "not a regular file");
    EXPECT_EQ(OpenRegularFile((folder / "missing.bmp").c_str(), reason), nullptr);
    EXPECT_EQ(reason, "No such file or directory");
}

// Decodes a PNG with WIC into top-down RGBA, straight alpha.
std::vector<std::uint8_t> DecodeRgba(const std::vector<unsigned char>& png, UINT& width, UINT& height)
{
    std::vector<std::uint8_t> rgba;
    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return rgba;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    if (SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromMemory(const_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size()))) &&
        SUCCEEDED(factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
        SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr, 0,
                                        WICBitmapPaletteTypeCustom))) {
        rgba.resize(static_cast<std::size_t>(width) * height * 4);
        if (FAILED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(rgba.size()), rgba.data())))
            rgba.clear();
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{converter, frame, decoder, stream, factory})
        if (object)
            object->Release();
    return rgba;
}

// Catches rows upside down, red and blue swapped, or alpha lost: RGB and RGBA pixels, rows
// bottom-up as GL reads them, come back from the PNG exactly, top row first.
TEST(WindowsPngTest, APictureDecodesToThePixelsGiven)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    for (int channels : {3, 4}) {
        const int width = 3, height = 2;
        std::vector<std::uint8_t> pixels;
        for (int i = 0; i < width * height; ++i)
            for (int c = 0; c < channels; ++c)
                pixels.push_back(static_cast<std::uint8_t>(i * 40 + c * 10 + (c == 3 ? 100 : 0)));
        std::vector<unsigned char> png;
        ASSERT_EQ(EncodePng(width, height, channels, pixels, png), "");
        UINT w = 0, h = 0;
        const std::vector<std::uint8_t> rgba = DecodeRgba(png, w, h);
        ASSERT_EQ(rgba.size(), static_cast<std::size_t>(width * height * 4)) << channels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 4; ++c) {
                    const std::size_t given = (static_cast<std::size_t>(height - 1 - y) * width + x) * channels + c;
                    const int expected = c < channels ? pixels[given] : 255;
                    EXPECT_EQ(rgba[(static_cast<std::size_t>(y) * width + x) * 4 + c], expected)
                        << channels << " channels, pixel " << x << "," << y << " channel " << c;
                }
    }
    CoUninitialize();
}

}  // namespace
