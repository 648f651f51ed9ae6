#include "ornament/wayland/frame_surface.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// Buffers enough for one on the screen, one the compositor has not let go of yet, and one to
// draw in.
constexpr std::size_t kBuffers = 3;

}  // namespace

const wl_buffer_listener CFrameSurface::kBufferListener = {
    [](void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; },
};

const wl_callback_listener CFrameSurface::kFrameListener = {
    [](void* data, wl_callback* callback, uint32_t) {
        auto* frames = static_cast<CFrameSurface*>(data);
        wl_callback_destroy(callback);
        frames->m_frameCallback = nullptr;
        frames->m_bWaiting = false;
    },
};

CFrameSurface::CFrameSurface(wl_compositor* compositor, wl_subcompositor* subcompositor, wl_shm* shm)
    : m_compositor(compositor), m_subcompositor(subcompositor), m_shm(shm),
      m_bDamageInBuffer(wl_proxy_get_version(reinterpret_cast<wl_proxy*>(compositor)) >= 4), m_history(kBuffers)
{
}

CFrameSurface::~CFrameSurface()
{
    Release();
    DestroySurface();
}

void CFrameSurface::DestroySurface()
{
    if (m_frameCallback)
        wl_callback_destroy(m_frameCallback);
    if (m_subsurface)
        wl_subsurface_destroy(m_subsurface);
    if (m_surface)
        wl_surface_destroy(m_surface);
    m_frameCallback = nullptr;
    m_subsurface = nullptr;
    m_surface = nullptr;
}

void CFrameSurface::Attach(wl_surface* parent)
{
    DestroySurface();
    m_bWaiting = false;
    m_surface = wl_compositor_create_surface(m_compositor);
    m_subsurface = wl_subcompositor_get_subsurface(m_subcompositor, m_surface, parent);
    // Its frames go when they are drawn, not with GTK's.
    wl_subsurface_set_desync(m_subsurface);
    wl_region* none = wl_compositor_create_region(m_compositor);
    wl_surface_set_input_region(m_surface, none);
    wl_region_destroy(none);
    wl_surface_set_buffer_scale(m_surface, m_scale);
    m_bWholeDamage = true;
}

void CFrameSurface::Release()
{
    for (Buffer& b : m_buffers)
        wl_buffer_destroy(b.buffer);
    m_buffers.clear();
    if (m_memory)
        munmap(m_memory, m_size);
    m_memory = nullptr;
}

std::string CFrameSurface::Resize(int width, int height, int scale)
{
    Release();
    m_width = width;
    m_height = height;
    m_scale = scale;
    const std::size_t one = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    m_size = one * kBuffers;
    if (width <= 0 || height <= 0 || m_size > static_cast<std::size_t>(INT32_MAX))
        return "frames of " + std::to_string(width) + "x" + std::to_string(height) +
               " pixels take more shared memory than a Wayland compositor takes (2 GiB)";
    const int file = memfd_create("lumetta-ornament-frames", MFD_CLOEXEC);
    if (file < 0)
        return std::strerror(errno);
    if (ftruncate(file, static_cast<off_t>(m_size)) != 0) {
        std::string why = std::strerror(errno);
        close(file);
        return why;
    }
    m_memory = mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    if (m_memory == MAP_FAILED) {
        std::string why = std::strerror(errno);
        m_memory = nullptr;
        close(file);
        return why;
    }
    wl_shm_pool* pool = wl_shm_create_pool(m_shm, file, static_cast<int32_t>(m_size));
    close(file);
    m_buffers.resize(kBuffers);
    for (std::size_t i = 0; i < kBuffers; ++i) {
        Buffer& b = m_buffers[i];
        b.pixels = reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(m_memory) + one * i);
        b.buffer = wl_shm_pool_create_buffer(pool, static_cast<int32_t>(one * i), width, height, width * 4,
                                             WL_SHM_FORMAT_ARGB8888);
        wl_buffer_add_listener(b.buffer, &kBufferListener, &b);
    }
    wl_shm_pool_destroy(pool);
    if (m_surface)
        wl_surface_set_buffer_scale(m_surface, scale);
    m_history.Clear();
    m_bWholeDamage = true;
    return {};
}

void CFrameSurface::Copy(Buffer& to, const std::uint32_t* picture, const BufferRect& part) const
{
    for (int y = part.y; y < part.y + part.height; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * m_width + part.x;
        std::memcpy(to.pixels + row, picture + row, static_cast<std::size_t>(part.width) * 4);
    }
}

void CFrameSurface::Damage(const BufferRect& part) const
{
    if (m_bDamageInBuffer) {
        wl_surface_damage_buffer(m_surface, part.x, part.y, part.width, part.height);
        return;
    }
    // Before version 4 the surface's own pixels, each of m_scale buffer pixels a side.
    const int left = part.x / m_scale, top = part.y / m_scale;
    wl_surface_damage(m_surface, left, top, (part.x + part.width + m_scale - 1) / m_scale - left,
                      (part.y + part.height + m_scale - 1) / m_scale - top);
}

void CFrameSurface::Show(const std::uint32_t* picture, const std::vector<BufferRect>& parts)
{
    const long frame = m_history.Add(parts);
    m_undamaged.insert(m_undamaged.end(), parts.begin(), parts.end());
    Buffer* free = nullptr;
    for (Buffer& b : m_buffers) {
        if (!b.busy && (!free || b.frame > free->frame))
            free = &b;
    }
    // All held: what changed waits for the next frame.
    if (!free || !m_surface)
        return;
    if (const auto since = m_history.Since(free->frame)) {
        for (const BufferRect& part : *since)
            Copy(*free, picture, part);
    } else {
        Copy(*free, picture, {0, 0, m_width, m_height});
    }
    free->frame = frame;
    free->busy = true;
    wl_surface_attach(m_surface, free->buffer, 0, 0);
    if (m_bWholeDamage)
        Damage({0, 0, m_width, m_height});
    else
        for (const BufferRect& part : m_undamaged)
            Damage(part);
    m_undamaged.clear();
    m_bWholeDamage = false;
    m_frameCallback = wl_surface_frame(m_surface);
    wl_callback_add_listener(m_frameCallback, &kFrameListener, this);
    m_bWaiting = true;
    wl_surface_commit(m_surface);
}
