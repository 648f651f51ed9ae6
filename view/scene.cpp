// glBlendFuncSeparate (GL 1.4), for a transparent scene alone.
#include "core/gl_api.h"
#include "view/scene.h"

#include "models/shape_cache.h"
#include "view/frame.h"
#include "view/gl_query.h"
#include "view/panel.h"

#include <algorithm>

void SetupFixedState()
{
    glClearColor(0.0f, 0.0f, 0.2f, 1.0f);
    glLightModelf(GL_LIGHT_MODEL_TWO_SIDE, 1.0f);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    // Blending stays on for the whole run: halos, flares and apples are translucent.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
}

void SetupTransparency()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void SetupLight0()
{
    static const GLfloat kDiffuse[] = {0.5f, 0.5f, 0.5f, 1.0f};
    static const GLfloat kAmbient[] = {0.1f, 0.05f, 0.05f, 1.0f};
    static const GLfloat kSpecular[] = {0.3f, 0.2f, 0.2f, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, kDiffuse);
    glLightfv(GL_LIGHT0, GL_AMBIENT, kAmbient);
    glLightfv(GL_LIGHT0, GL_SPECULAR, kSpecular);
}

void SetupProjection(int cx, int cy, const Framing& framing)
{
    cx = std::max(cx, 0);
    cy = std::max(cy, 0);
    glViewport(0, 0, cx, cy);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslated(framing.x, framing.y, 0.0);
    glScaled(framing.scale, framing.scale, 1.0);
    // A minimised window reports a zero height; any finite aspect will do for an empty viewport.
    const double aspect = (cx > 0 && cy > 0) ? static_cast<double>(cx) / cy : 1.0;
    gluPerspective(45.0, aspect, 10.0, 70.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

CScene::CScene() = default;

CScene::~CScene() = default;

void CScene::SetFrameDrawing(FrameDrawing drawing)
{
    if (drawing == FrameDrawing::Whole)
        m_pCache.reset();
    else
        m_pCache = std::make_unique<CFrameCache>();
    SetSamples(m_nSamples);
}

void CScene::SetSamples(int samples)
{
    m_nSamples = samples;
    if (m_pCache)
        m_pCache->SetSamples(samples);
}

int CScene::Samples() const
{
    return m_bFrameCached ? m_pCache->Samples() : 1;
}

const FrameChange& CScene::Change() const
{
    return m_bFrameCached ? m_pCache->Change() : m_wholeChange;
}

void CScene::PutFrame(const std::vector<PixelRect>& parts) const
{
    if (m_bFrameCached)
        m_pCache->PutFrame(parts);
}

std::vector<std::uint8_t> CScene::ReadFrame(int channels) const
{
    return m_bFrameCached ? m_pCache->ReadFrame(channels) : ReadPixels(Bounds(), channels);
}

void CScene::OnCreate(const std::string& installedFolder)
{
    // A transparent scene has no backdrop, and needs no picture for one.
    if (!m_bTransparent)
        ReadPanelTexels(m_state, installedFolder);
}

void CScene::OnCreateContext()
{
    // Nothing of another context is of use in this one.
    if (m_pCache)
        SetFrameDrawing(FrameDrawing::Cached);
    SetupFixedState();
    if (m_bTransparent)
        SetupTransparency();
    else
        UploadPanelTexture(m_state);
    SetupLight0();
}

void CScene::SetFraming(const Framing& framing)
{
    m_framing = framing;
    SetupProjection(m_nWidth, m_nHeight, m_framing);
}

void CScene::OnSize(int cx, int cy)
{
    SetupProjection(cx, cy, m_framing);
    m_nWidth = std::max(cx, 0);
    m_nHeight = std::max(cy, 0);
    m_wholeChange = {true, {Bounds()}};
}

void CScene::OnDraw()
{
    const Backdrop backdrop = m_bTransparent ? Backdrop::None : Backdrop::Panel;
    m_bFrameCached = m_pCache && m_pCache->Draw(m_state, backdrop);
    if (!m_bFrameCached)
        RenderFrame(m_state, backdrop);
}

void CScene::OnDestroyContext()
{
    if (m_pCache)
        m_pCache->Release();
    m_bFrameCached = false;
    ReleaseShapeCache();
}

void CScene::OnContextLost()
{
    // What the cache made went with the context: a new one knows nothing of it.
    if (m_pCache)
        SetFrameDrawing(FrameDrawing::Cached);
    m_bFrameCached = false;
    ForgetShapeCache();
}
