// The Wayland ornament's frames on a surface of their own, a subsurface over the layer surface
// GTK makes (which stays clear, and takes the clicks): in buffers of shared memory that are
// used again once the compositor has let them go, each given only the parts that changed since
// it last held a frame, and the surface damaged only where the frame changed. GTK would make a
// buffer anew for most frames and copy the last one into it whole.
#pragma once

#include "ornament/wayland/buffer_parts.h"

#include <wayland-client.h>

#include <cstdint>
#include <string>
#include <vector>

class CFrameSurface {
public:
    CFrameSurface(wl_compositor* compositor, wl_subcompositor* subcompositor, wl_shm* shm);
    ~CFrameSurface();
    CFrameSurface(const CFrameSurface&) = delete;
    CFrameSurface& operator=(const CFrameSurface&) = delete;

    // Over parent, at its top left, taking no clicks; a surface of its own made anew for each
    // parent, since GTK makes its surface anew when it shows the window again.
    void Attach(wl_surface* parent);
    // Frames of width x height buffer pixels, scale of them to a pixel of the surface.
    // Returns an empty string, or why the memory for them cannot be had (the compositor takes
    // at most 2 GiB of shared memory at once, which the three buffers must fit).
    std::string Resize(int width, int height, int scale);
    // Whether the compositor asked for a frame since the last one was shown: while it asks for
    // none (the surface hidden, its output off), none is to be drawn.
    bool Ready() const { return !m_bWaiting; }
    // Shows picture: width x height 32-bit premultiplied ARGB pixels, rows from the top, of
    // which parts changed since the picture last shown.
    void Show(const std::uint32_t* picture, const std::vector<BufferRect>& parts);

private:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        std::uint32_t* pixels = nullptr;
        bool busy = false;  // the compositor holds it
        long frame = 0;     // the frame it holds; 0: none
    };
    static const wl_buffer_listener kBufferListener;
    static const wl_callback_listener kFrameListener;

    void Release();
    // The surface, its subsurface and the frame asked for of it, gone.
    void DestroySurface();
    void Copy(Buffer& to, const std::uint32_t* picture, const BufferRect& part) const;
    void Damage(const BufferRect& part) const;

    wl_compositor* const m_compositor;
    wl_subcompositor* const m_subcompositor;
    wl_shm* const m_shm;
    const bool m_bDamageInBuffer;  // the compositor takes damage in the buffer's pixels
    wl_surface* m_surface = nullptr;
    wl_subsurface* m_subsurface = nullptr;
    wl_callback* m_frameCallback = nullptr;
    bool m_bWaiting = false;
    int m_width = 0, m_height = 0, m_scale = 1;
    void* m_memory = nullptr;
    std::size_t m_size = 0;
    std::vector<Buffer> m_buffers;
    CFrameHistory m_history;
    std::vector<BufferRect> m_undamaged;  // parts changed since the surface last had a buffer
    bool m_bWholeDamage = true;
};
