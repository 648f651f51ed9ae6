// The MP4 output: the file, written aside and put in place when whole, around the encoder
// that the MP4 module (mp4_encoder.h) provides.
#include "os/modules.h"
#include "export/mp4_encoder.h"
#include "export/outputs.h"

namespace {

class CMp4Output : public CAnimationOutput {
public:
    explicit CMp4Output(const OutputRequest& request) : CAnimationOutput(request)
    {
        std::string error;
        const auto make = reinterpret_cast<Mp4EncoderEntry>(LoadModuleEntry(kMp4ModuleFile, kMp4EntryName, error));
        const Mp4Settings settings{request.width, request.height, request.quality, request.encoderThreads,
                                   request.lookahead};
        if (make)
            m_encoder.reset(make(settings, &error));
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
    std::unique_ptr<CMp4Encoder> m_encoder;
    std::string m_checkError;
};

}  // namespace

std::unique_ptr<COutput> MakeMp4Output(const OutputRequest& request)
{
    return std::make_unique<CMp4Output>(request);
}
