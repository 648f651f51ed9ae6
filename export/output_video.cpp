// The MP4 and WebM outputs, and the WebM sticker: the file, written aside and put in place
// when whole, around the encoder that the video module (video_encoder.h) provides.
#include "core/files.h"
#include "export/outputs.h"
#include "export/video_encoder.h"
#include "os/end_signals.h"
#include "os/modules.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace {

// What the encoder is asked to make for request, at quality.
VideoSettings SettingsFor(const OutputRequest& request, VideoCodec codec, int quality)
{
    VideoSettings settings;
    settings.codec = codec;
    settings.width = request.width;
    settings.height = request.height;
    settings.quality = quality;
    settings.framesPerSecond = request.framesPerSecond;
    settings.alpha = request.transparent;
    settings.threads = request.encoderThreads;
    settings.lookahead = request.lookahead;
    return settings;
}

class CVideoOutput : public CAnimationOutput {
public:
    CVideoOutput(const OutputRequest& request, VideoCodec codec) : CAnimationOutput(request)
    {
        std::string error;
        const auto make =
            reinterpret_cast<VideoEncoderEntry>(LoadModuleEntry(kVideoModuleFile, kVideoEntryName, error));
        if (make)
            m_encoder.reset(make(SettingsFor(request, codec, request.quality), &error));
        if (!m_encoder)
            m_checkError = Failure(error);
    }

    std::string CheckError() const override { return m_checkError; }

    std::string Start() override
    {
        if (std::string error = CAnimationOutput::Start(); !error.empty())
            return error;
        m_encoder->WriteTo(TemporaryPath());
        return {};
    }

    std::string Prepare(const CFrame*, const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        return Failure(m_encoder->Prepare(frame, prepared));
    }

    std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        return Failure(m_encoder->Write(frame.index, prepared));
    }

    std::string Finish() override { return Failure(m_encoder->Finish()); }

private:
    std::unique_ptr<CVideoEncoder> m_encoder;
    std::string m_checkError;
};

// A sticker: its frames kept as they come, then encoded at the highest quality whose file
// fits in a sticker's bytes. Never by leaving frames out: a loop a sticker cannot hold is
// said, and nothing is made.
class CStickerOutput : public CAnimationOutput {
public:
    explicit CStickerOutput(const OutputRequest& request) : CAnimationOutput(request)
    {
        std::string error;
        m_make = reinterpret_cast<VideoEncoderEntry>(LoadModuleEntry(kVideoModuleFile, kVideoEntryName, error));
        // Made once now, so that an FFmpeg without VP9 is found before any file is.
        std::unique_ptr<CVideoEncoder> encoder(
            m_make ? m_make(SettingsFor(m_request, VideoCodec::Vp9, kFirstQuality), &error) : nullptr);
        if (!encoder)
            m_checkError = Failure(error);
    }

    std::string CheckError() const override { return m_checkError; }

    std::string Prepare(const CFrame*, const CFrame& frame, std::vector<std::uint8_t>&) override
    {
        m_kept.Keep(frame);
        return {};
    }

    std::string Write(const CFrame&, std::vector<std::uint8_t>&) override { return {}; }

    std::string Finish() override
    {
        const std::vector<const CFrame*> frames = m_kept.InOrder();
        std::uintmax_t bytes = 0;
        for (int quality = kFirstQuality; quality >= 0; quality -= kQualityStep) {
            std::string error;
            std::unique_ptr<CVideoEncoder> encoder(m_make(SettingsFor(m_request, VideoCodec::Vp9, quality), &error));
            if (!encoder)
                return Failure(error);
            encoder->WriteTo(TemporaryPath());
            std::vector<std::uint8_t> planes;
            for (std::size_t i = 0; i < frames.size() && error.empty(); ++i) {
                // Ctrl+C is heard between frames, not after every quality has been tried.
                if (CEndSignals::Caught() != 0)
                    return Failure("interrupted");
                error = encoder->Prepare(*frames[i], planes);
                if (error.empty())
                    error = encoder->Write(static_cast<int>(i), planes);
            }
            if (error.empty())
                error = encoder->Finish();
            if (!error.empty())
                return Failure(error);
            std::error_code unknown;
            bytes = std::filesystem::file_size(TemporaryPath(), unknown);
            if (unknown)
                return Failure(unknown.message());
            if (bytes <= static_cast<std::uintmax_t>(m_request.mostBytes)) {
                char made[320];
                (void)std::snprintf(made, sizeof made,
                                    "%s: %s, %dx%d, VP9 in WebM with transparency and no sound, %zu frames at %d a "
                                    "second (%.2f s), %ju bytes (at most %ld), quality %d",
                                    ShownName(m_request.name).c_str(), m_request.stickerWhat.c_str(), m_request.width,
                                    m_request.height, frames.size(), m_request.framesPerSecond,
                                    static_cast<double>(frames.size()) / m_request.framesPerSecond, bytes,
                                    m_request.mostBytes, quality);
                m_made = made;
                return {};
            }
        }
        return Failure(m_request.stickerWhat + " holds at most " + std::to_string(m_request.mostBytes) +
                       " bytes, and at the lowest quality this one takes " + std::to_string(bytes));
    }

    std::string Made() const override { return m_made; }

private:
    static constexpr int kFirstQuality = 80;
    static constexpr int kQualityStep = 10;

    VideoEncoderEntry m_make = nullptr;
    std::string m_checkError;
    CKeptFrames m_kept;
    std::string m_made;
};

}  // namespace

std::unique_ptr<COutput> MakeMp4Output(const OutputRequest& request)
{
    return std::make_unique<CVideoOutput>(request, VideoCodec::H264);
}

std::unique_ptr<COutput> MakeWebmOutput(const OutputRequest& request)
{
    if (request.sticker)
        return std::make_unique<CStickerOutput>(request);
    return std::make_unique<CVideoOutput>(request, VideoCodec::Vp9);
}
