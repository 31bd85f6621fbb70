#include "mapview/overlay/OverlayTool.h"

#include "foundation/notify/StatusLine.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>
#include <QTextOption>
#include <algorithm>
#include <cmath>

namespace {
std::unique_ptr<COverlayTool>& Active()
{
    // Never destroyed: managers that outlive termination (a test, an early
    // exit) may still ask for the tool from their destructors.
    static auto* tool = new std::unique_ptr<COverlayTool>();
    return *tool;
}
} // namespace

COverlayTool::COverlayTool(CRasterleafView* view) : m_view(view), m_messagesBefore(StatusMessageCount())
{
    m_labelFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    m_labelFont.setBold(true);
    // Sixteen view points, so the text fits its 20-point box on any screen.
    m_labelFont.setPixelSize(16);
}

COverlayTool::~COverlayTool()
{
    ClearStatusMessagesAfter(m_messagesBefore);
}

void COverlayTool::SetAnchor(double x, double y)
{
    m_anchorX = x;
    m_anchorY = y;
}

QRectF COverlayTool::LastLabelRect() const
{
    if (m_drawnX == kNoAnchor && m_drawnY == kNoAnchor)
        return QRectF();
    return LabelBox(m_drawnX, m_drawnY);
}

QRectF COverlayTool::LabelBox(double x, double y) const
{
    // At least the standard box; wider and taller as every line of the text
    // needs, growing up and to both sides so the object stays uncovered.
    double width = kLabelWidth, height = kLabelHeight;
    if (!m_text.empty()) {
        const QFontMetricsF metrics(m_labelFont);
        const QStringList lines = QString::fromStdString(m_text).split(QLatin1Char('\n'));
        double widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        width = std::max(width, std::ceil(widest) + 8);
        height = std::max(height, std::ceil(metrics.lineSpacing() * lines.size()));
    }
    const double bottom = y + kLabelTop + kLabelHeight;
    return QRectF(x - width / 2, bottom - height, width, height);
}

void COverlayTool::DrawDecoration(QPainter& context, const CViewTransform& view, const ScreenPoints& record)
{
    (void)view;
    if (!record.screenPoints.empty())
        DrawLabel(context, record.screenPoints[0].x, record.screenPoints[0].y);
}

void COverlayTool::DrawLabel(QPainter& context, double x, double y)
{
    if (!m_pinned && std::isfinite(x) && std::isfinite(y))
        SetAnchor(x, y);
    m_drawn = true;
    m_drawnX = m_anchorX;
    m_drawnY = m_anchorY;
    if (m_text.empty())
        return;
    const QRectF box = LabelBox(m_anchorX, m_anchorY);
    context.save();
    context.fillRect(box, m_labelBackground);
    context.setFont(m_labelFont);
    context.setPen(Qt::black);
    context.drawText(box, QString::fromStdString(m_text), QTextOption(Qt::AlignCenter));
    context.restore();
}

void COverlayTool::SetActiveTool(std::unique_ptr<COverlayTool> tool)
{
    // The old tool is destroyed after the new one is in place, so that its
    // destructor sees the current state; it clears the status line, which the
    // new tool then shows again.
    std::unique_ptr<COverlayTool> old = std::move(Active());
    Active() = std::move(tool);
    if (old) {
        old.reset();
        if (COverlayTool* now = Active().get())
            now->UpdateText();
    }
}

COverlayTool* COverlayTool::GetActiveTool()
{
    return Active().get();
}

void COverlayTool::EndActiveTool()
{
    std::unique_ptr<COverlayTool> old = std::move(Active());
}

void COverlayTool::EndToolOf(const COverlayObject* object)
{
    COverlayTool* tool = Active().get();
    if (tool && object && (tool->GetMark() == object || tool->GetTrackSection() == object))
        EndActiveTool();
}

bool COverlayTool::IsActiveToolMark(const COverlayObject* mark)
{
    COverlayTool* tool = Active().get();
    return tool && mark && tool->GetMark() == mark;
}

bool COverlayTool::IsActiveToolTrack(const COverlayTrack* track)
{
    COverlayTool* tool = Active().get();
    return tool && track && tool->GetTrack() == track;
}

bool COverlayTool::IsActiveToolSection(const COverlayObject* section)
{
    COverlayTool* tool = Active().get();
    return tool && section && tool->GetTrackSection() == section;
}

void COverlayTool::BeginDrawPass()
{
    if (COverlayTool* tool = Active().get())
        tool->m_drawn = false;
}

void COverlayTool::EndDrawPass()
{
    COverlayTool* tool = Active().get();
    if (tool && !tool->m_drawn)
        EndActiveTool();
}
