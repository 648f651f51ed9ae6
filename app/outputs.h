// What --render writes, each kind an output that takes the frames as they are drawn: one PNG
// picture (the last frame), a numbered sequence of PNGs, or a looping animation (WebP, MP4 or
// GIF) written to a temporary file as its frames come and put in place when whole.
#pragma once

#include "app/frame_pipeline.h"
#include "app/picture_name.h"

#include <memory>
#include <string>

struct OutputRequest {
    PictureName picture;
    std::string name;  // as given: FILE.png, "-", frame%03d.png, FILE.webp, ...
    int width = 0;
    int height = 0;
    int frames = 0;    // how many will come
    int quality = -1;  // 0 to 100 for a lossy animation; -1: lossless WebP, the others' defaults
};

class COutput : public CFrameSink {
public:
    // Why the output cannot be made (its file cannot be written, its encoder cannot start),
    // or an empty string.
    virtual std::string StartError() const { return {}; }
    // After the pipeline has finished: puts a file written aside in place. Returns an empty
    // string, or why not.
    virtual std::string Complete() { return {}; }
    // Takes away every file this output has made new: the run was cut short or failed.
    virtual void TakeAway() {}
};

// An animation's file: written aside, by name, as its frames come, put in place when whole,
// and taken away again when the run is cut short after that.
class CFileBeingWritten;
class CAnimationOutput : public COutput {
public:
    explicit CAnimationOutput(const OutputRequest& request);
    ~CAnimationOutput() override;
    std::string StartError() const override;
    std::string Complete() override;
    void TakeAway() override;

protected:
    // The file to write the animation to (the libraries open their files by name).
    const std::string& TemporaryPath() const;
    // "cannot write 'NAME': reason", or an empty string for no reason.
    std::string Failure(const std::string& reason) const;

    const OutputRequest m_request;

private:
    const bool m_bExisted;
    std::unique_ptr<CFileBeingWritten> m_pFile;
    bool m_bMade = false;
};

// The output for request, not yet started: a file is made only once frames come.
std::unique_ptr<COutput> MakeOutput(const OutputRequest& request);

// The memory an output holds per pixel of the picture, beside the frames in its pipeline.
double OutputBytesPerPixel(PictureName::Kind kind);

// The PNG, WebP, MP4 and GIF outputs, for the factory above.
std::unique_ptr<COutput> MakePngOutput(const OutputRequest& request);
std::unique_ptr<COutput> MakeWebpOutput(const OutputRequest& request);
std::unique_ptr<COutput> MakeMp4Output(const OutputRequest& request);
std::unique_ptr<COutput> MakeGifOutput(const OutputRequest& request);
