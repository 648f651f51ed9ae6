// The MP4 output: the file, written aside and put in place when whole, around the encoder
// that the MP4 module (mp4_encoder.h) provides.
#include "app/modules.h"
#include "app/mp4_encoder.h"
#include "app/outputs.h"
#include "app/safe_file.h"

#include <cstdio>

namespace {

class CMp4Output : public COutput {
public:
    explicit CMp4Output(const OutputRequest& request) : m_request(request), m_existed(FileExists(request.name))
    {
        if (!m_file.Error().empty())
            return;
        std::string error;
        const auto make = reinterpret_cast<Mp4EncoderEntry>(LoadModuleEntry(kMp4ModuleFile, kMp4EntryName, error));
        if (make)
            m_encoder.reset(
                make(m_file.TemporaryPath().c_str(), request.width, request.height, request.quality, &error));
        if (!m_encoder)
            m_startError = Failure(error);
    }

    std::string StartError() const override { return m_file.Error().empty() ? m_startError : m_file.Error(); }

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

    std::string Complete() override
    {
        if (std::string error = m_file.PutInPlace(); !error.empty())
            return error;
        m_made = !m_existed;
        return {};
    }

    void TakeAway() override
    {
        if (m_made)
            TakeAwayFile(m_request.name);
        m_made = false;
    }

private:
    // The encoder's reason as the program says it, or nothing when there is none.
    std::string Failure(const std::string& reason) const
    {
        return reason.empty() ? std::string() : "cannot write '" + m_request.name + "': " + reason;
    }

    const OutputRequest m_request;
    const bool m_existed;
    CFileBeingWritten m_file{m_request.name};
    std::unique_ptr<CMp4Encoder> m_encoder;
    std::string m_startError;
    bool m_made = false;
};

}  // namespace

std::unique_ptr<COutput> MakeMp4Output(const OutputRequest& request)
{
    return std::make_unique<CMp4Output>(request);
}
