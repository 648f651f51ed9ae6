#include "export/outputs.h"

#include "export/safe_file.h"

CAnimationOutput::CAnimationOutput(const OutputRequest& request) : m_request(request)
{
}

CAnimationOutput::~CAnimationOutput() = default;

std::string CAnimationOutput::Start()
{
    m_bExisted = FileExists(m_request.name);
    m_pFile = std::make_unique<CFileBeingWritten>(m_request.name);
    return m_pFile->Error();
}

std::string CAnimationOutput::Complete()
{
    if (std::string error = m_pFile->PutInPlace(); !error.empty())
        return error;
    m_bMade = !m_bExisted;
    return {};
}

void CAnimationOutput::TakeAway()
{
    if (m_bMade)
        TakeAwayFile(m_request.name);
    m_bMade = false;
}

const std::string& CAnimationOutput::TemporaryPath() const
{
    return m_pFile->TemporaryPath();
}

std::string CAnimationOutput::Failure(const std::string& reason) const
{
    return reason.empty() ? std::string() : CannotWrite(m_request.name, reason);
}

std::unique_ptr<COutput> MakeOutput(const OutputRequest& request)
{
    switch (request.picture.kind) {
    case PictureName::Kind::Webp:
        return MakeWebpOutput(request);
    case PictureName::Kind::Mp4:
        return MakeMp4Output(request);
    case PictureName::Kind::Gif:
        return MakeGifOutput(request);
    case PictureName::Kind::Png:
    case PictureName::Kind::Sequence:
        break;
    }
    return MakePngOutput(request);
}
