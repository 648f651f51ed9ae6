// The names --render writes to: one PNG (or "-", standard output), a numbered sequence of
// PNGs, or one looping animation: WebP, MP4 (H.264), GIF or WebM (VP9).
#pragma once

#include <string>

struct PictureName {
    enum class Kind {
        Png,       // FILE.png, or "-"
        Sequence,  // a PNG name with one frame number in it, printf-style: frame%03d.png
        Webp,      // FILE.webp
        Mp4,       // FILE.mp4
        Gif,       // FILE.gif
        Webm,      // FILE.webm
    };
    bool IsAnimation() const { return kind != Kind::Png && kind != Kind::Sequence; }
    Kind kind = Kind::Png;
    std::string before;  // the name around the frame number, "%%" already read as "%"
    std::string after;
    int digits = 0;      // at least this many digits
    bool zeros = false;  // padded with zeros rather than spaces
};

// Reads name. Returns an empty string, or the message saying what names are taken.
std::string ReadPictureName(const std::string& name, PictureName& picture);

// The file of frame n (from 1) of a sequence; the name itself for the other kinds.
std::string FrameFileName(const PictureName& picture, const std::string& name, int frame);
