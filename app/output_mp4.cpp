// The MP4 output: the file, written aside and put in place when whole, around the encoder
// that the MP4 module (mp4_encoder.h) provides.
#include "app/modules.h"
#include "app/mp4_encoder.h"
#include "app/outputs.h"

#include <cstdio>

namespace {

class CMp4Output : public CAnimationOutput {
public:
    explicit CMp4Output(const OutputRequest& request) : CAnimationOutput(request)
    {
        if (!CAnimationOutput::StartError().empty())
            return;
        std::string error;
        const auto make = reinterpret_cast<Mp4EncoderEntry>(LoadModuleEntry(kMp4ModuleFile, kMp4EntryName, error));
        if (make)
            m_encoder.reset(make(TemporaryPath().c_str(), request.width, request.height, request.quality, &error));
        if (!m_encoder)
            m_startError = Failure(error);
    }

    std::string StartError() const override
    {
        const std::string error = CAnimationOutput::StartError();
        return error.empty() ? m_startError : error;
    }

    // x264 keeps threads of its own; the colours are turned on two.
    int PrepareThreads() const override { return 2; }

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
    std::unique_ptr<CMp4Encoder> m_encoder;
    std::string m_startError;
};

}  // namespace

std::unique_ptr<COutput> MakeMp4Output(const OutputRequest& request)
{
    return std::make_unique<CMp4Output>(request);
}
