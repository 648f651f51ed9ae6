// What --render writes, each kind an output that takes the frames as they are drawn: one PNG
// picture (the last frame), a numbered sequence of PNGs, or a looping animation (WebP, MP4 or
// GIF) written to a temporary file as its frames come and put in place when whole. No file is
// made before Start.
#pragma once

#include "export/frame_pipeline.h"
#include "export/picture_name.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct OutputRequest {
    PictureName picture;
    std::string name;  // as given: FILE.png, "-", frame%03d.png, FILE.webp, ...
    int width = 0;
    int height = 0;
    int frames = 0;            // how many will come
    int quality = -1;          // 0 to 100 for a lossy animation; -1: lossless WebP, the others' defaults
    bool transparent = false;  // frames of premultiplied RGBA: the scene with no backdrop
    int framesPerSecond = 20;  // as the video says it plays; the scene's clock gives 20
    bool sticker = false;      // a WebM's quality chosen so that it fits a sticker's bytes
    bool still = false;        // one picture: a WebP that is not an animation
    // A sticker's: what it is, for the line that says what was made ("a Telegram sticker"),
    // and the most bytes it may have; the quality is chosen to fit.
    std::string stickerWhat;
    long mostBytes = 0;
    // What to change when the sticker cannot be made well enough in its bytes: "leave out
    // --spin". Empty when nothing is to be said.
    std::string stickerAdvice;
    int encoderThreads = 0;  // x264's threads, or libimagequant's for each frame; 0: the library's own
    int lookahead = -1;      // x264's frames of lookahead; -1: its own
};

class COutput : public CFrameSink {
public:
    // Why the output could not be made (its encoder cannot be loaded), found before any file
    // is made; or an empty string.
    virtual std::string CheckError() const { return {}; }
    // Before the first frame: makes the file the frames go to (an animation's temporary file).
    // Returns an empty string, or why it cannot be made.
    virtual std::string Start() { return {}; }
    // After the pipeline has finished: puts a file written aside in place. Returns an empty
    // string, or why not.
    virtual std::string Complete() { return {}; }
    // Takes away every file this output has made new: the run was cut short or failed. The
    // temporary file of an animation goes with the output itself.
    virtual void TakeAway() {}
    // Before the frames, given short runs of them from across the total, framed as they will
    // be: why frames like these cannot make what was asked (a sticker that cannot fit its
    // bytes), or an empty string. Said after the least work that shows it, not after every
    // frame.
    virtual std::string Probe(const std::vector<std::vector<const CFrame*>>& /*runs*/, int /*total*/) { return {}; }
    // After Complete: what it made, when that is worth saying (a sticker's size and rate); or
    // an empty string.
    virtual std::string Made() const { return {}; }
};

// Frames kept as they come, from whichever thread prepares them, to be encoded whole at the
// end (a sticker's, at the quality that fits).
class CKeptFrames {
public:
    void Keep(const CFrame& frame);
    // The frames kept, by index; those never given (a still sticker's earlier ones) left out.
    std::vector<const CFrame*> InOrder() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<const CFrame>> m_frames;
};

// An animation's file: written aside as its frames come, by name or through a stream the
// output shares, flushed, closed and put in place when whole, and taken away again when the
// run is cut short after that.
class CFileBeingWritten;
class CAnimationOutput : public COutput {
public:
    explicit CAnimationOutput(const OutputRequest& request);
    ~CAnimationOutput() override;
    std::string Start() override;
    std::string Complete() override;
    void TakeAway() override;

protected:
    // The file to write the animation to, for the libraries that open their files by name.
    const std::string& TemporaryPath() const;
    // The same file as a stream, opened at the first call: null, with errno set, when it
    // cannot be. Complete flushes and closes it, and says what that finds.
    std::FILE* Stream();
    // "cannot write 'NAME': reason", or an empty string for no reason.
    std::string Failure(const std::string& reason) const;

    const OutputRequest m_request;

private:
    bool m_bExisted = false;
    std::unique_ptr<CFileBeingWritten> m_pFile;
    std::FILE* m_pStream = nullptr;
    bool m_bMade = false;
};

// The rectangle rect of frame as RGBA rows, each pixel that is the same in previous (when
// there is one) fully transparent (0, 0, 0, 0) so that what is below shows through, and the
// others opaque. unchanged, when given, says whether any pixel was the same.
std::vector<std::uint8_t> RgbaOverPrevious(const CFrame* previous, const CFrame& frame, const CFrameRect& rect,
                                           bool* unchanged = nullptr);

// The rectangle rect of a transparent frame as straight RGBA rows that can be laid over what
// is shown (alpha-blended onto it), the pixels that are the same left clear so that it shows
// through. shown, when given, is what a viewer shows as premultiplied RGBA rows top-down,
// kept up to date; otherwise it is previous. Laid over comes exactly to frame's pixels
// where they are opaque or land on clear ones, and elsewhere as near as it can, but no
// further from them than tolerance; when it cannot, and for the first frame, the rectangle is
// all of frame's pixels, to take the place of what was there, and laidOver is false.
std::vector<std::uint8_t> TransparentOverPrevious(const CFrame* previous, const CFrame& frame, const CFrameRect& rect,
                                                  bool& laidOver, double meanSquaredError = 0,
                                                  std::vector<std::uint8_t>* shown = nullptr);

// Premultiplied RGBA made straight, as files hold it: each colour divided by its coverage and
// rounded, and nothing where nothing is covered.
void MakeStraight(std::uint8_t* rgba, std::size_t pixels);
// The rectangle rect of frame as RGBA rows with straight alpha, top-down; an opaque frame's
// fully opaque.
std::vector<std::uint8_t> StraightRgba(const CFrame& frame, const CFrameRect& rect);

// The output for request, not yet started: it makes no file before Start.
std::unique_ptr<COutput> MakeOutput(const OutputRequest& request);

// The PNG, WebP, MP4, GIF and WebM outputs, for the factory above.
std::unique_ptr<COutput> MakePngOutput(const OutputRequest& request);
std::unique_ptr<COutput> MakeWebpOutput(const OutputRequest& request);
std::unique_ptr<COutput> MakeMp4Output(const OutputRequest& request);
std::unique_ptr<COutput> MakeGifOutput(const OutputRequest& request);
std::unique_ptr<COutput> MakeWebmOutput(const OutputRequest& request);
