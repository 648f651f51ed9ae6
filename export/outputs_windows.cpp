// The formats made on Linux alone: their encoders (libwebp, giflib and libimagequant, FFmpeg)
// are Linux libraries that Windows does not bring, and this build takes nothing Windows does
// not bring. Each is refused before anything is drawn.
#include "export/outputs.h"

#include "core/files.h"

namespace {

class CLinuxOnlyOutput : public COutput {
public:
    CLinuxOnlyOutput(const OutputRequest& request, const char* what) : m_name(request.name), m_what(what) {}

    std::string CheckError() const override
    {
        return "cannot write '" + ShownName(m_name) + "': " + m_what +
               " are made by Lumetta on Linux; on Windows, write numbered PNG frames (--render frame%03d.png) "
               "and encode them with another program";
    }
    std::string Prepare(const CFrame*, const CFrame&, std::vector<std::uint8_t>&) override { return CheckError(); }
    std::string Write(const CFrame&, std::vector<std::uint8_t>&) override { return CheckError(); }
    std::string Finish() override { return CheckError(); }

private:
    const std::string m_name;
    const char* const m_what;
};

}  // namespace

std::unique_ptr<COutput> MakeWebpOutput(const OutputRequest& request)
{
    return std::make_unique<CLinuxOnlyOutput>(request, "WebP pictures and stickers");
}

std::unique_ptr<COutput> MakeMp4Output(const OutputRequest& request)
{
    return std::make_unique<CLinuxOnlyOutput>(request, "MP4 videos");
}

std::unique_ptr<COutput> MakeGifOutput(const OutputRequest& request)
{
    return std::make_unique<CLinuxOnlyOutput>(request, "GIF animations");
}

std::unique_ptr<COutput> MakeWebmOutput(const OutputRequest& request)
{
    return std::make_unique<CLinuxOnlyOutput>(request, "WebM videos");
}
