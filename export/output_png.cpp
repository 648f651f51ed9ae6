// The PNG outputs: one picture, the last frame, or every frame in a numbered sequence.
#include "core/files.h"
#include "export/outputs.h"
#include "export/picture_encode.h"
#include "export/safe_file.h"

#include <vector>

namespace {

class CPngOutput : public COutput {
public:
    explicit CPngOutput(const OutputRequest& request) : m_request(request) {}

    std::string Prepare(const CFrame*, const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        if (!Wanted(frame))
            return {};
        std::string error;
        if (frame.channels == 4) {
            std::vector<std::uint8_t> straight = frame.rgb;
            MakeStraight(straight.data(), straight.size() / 4);
            error = EncodePng(frame.width, frame.height, 4, straight, prepared);
        } else {
            error = EncodePng(frame.width, frame.height, 3, frame.rgb, prepared);
        }
        if (!error.empty())
            return CannotWrite(Name(frame), error);
        return {};
    }

    std::string Write(const CFrame& frame, std::vector<std::uint8_t>& prepared) override
    {
        if (!Wanted(frame))
            return {};
        const std::string name = Name(frame);
        // A PNG is lossless: a sticker that does not fit has no quality to give up.
        if (m_request.mostBytes > 0 && prepared.size() > static_cast<std::size_t>(m_request.mostBytes))
            return CannotWrite(name, m_request.stickerWhat + " holds at most " + std::to_string(m_request.mostBytes) +
                                         " bytes, and this lossless one takes " + std::to_string(prepared.size()));
        if (m_request.mostBytes > 0)
            m_said = ShownName(name) + ": " + m_request.stickerWhat + ", " + std::to_string(frame.width) + "x" +
                     std::to_string(frame.height) + ", a PNG with transparency, " + std::to_string(prepared.size()) +
                     " bytes (at most " + std::to_string(m_request.mostBytes) + ")";
        // A moving sticker's frames: where they are and how they play.
        if (m_request.sticker && m_request.picture.kind == PictureName::Kind::Sequence) {
            if (frame.index == 0)
                m_said = ShownName(name);
            if (frame.index == m_request.frames - 1)
                m_said += " to " + ShownName(name) + ": the " + std::to_string(m_request.frames) + " frames of " +
                          m_request.stickerWhat + ", " + std::to_string(frame.width) + "x" +
                          std::to_string(frame.height) + ", lossless with transparency, playing at " +
                          std::to_string(m_request.framesPerSecond) + " a second";
        }
        const bool existed = FileExists(name);
        if (std::string error = WriteFileSafely(name, prepared); !error.empty())
            return error;
        if (!existed && name != "-")
            m_made.push_back(name);
        return {};
    }

    std::string Finish() override { return {}; }

    std::string Made() const override { return m_said; }

    void TakeAway() override
    {
        for (const std::string& name : m_made)
            TakeAwayFile(name);
        m_made.clear();
    }

private:
    // A sequence gets every frame, a picture the last.
    bool Wanted(const CFrame& frame) const
    {
        return m_request.picture.kind == PictureName::Kind::Sequence || frame.index == m_request.frames - 1;
    }
    std::string Name(const CFrame& frame) const
    {
        return FrameFileName(m_request.picture, m_request.name, frame.index + 1);
    }

    const OutputRequest m_request;
    std::vector<std::string> m_made;  // files this output made new
    std::string m_said;               // a sticker's: what it made
};

}  // namespace

std::unique_ptr<COutput> MakePngOutput(const OutputRequest& request)
{
    return std::make_unique<CPngOutput>(request);
}
