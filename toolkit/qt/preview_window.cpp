// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/qt/preview_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace pictavo {

namespace {

QString to_qstring(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QImage image_of(const PreviewPicture& picture)
{
    if (picture.width <= 0 || picture.height <= 0
        || picture.rgba.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 4)
        return {};
    return QImage(picture.rgba.data(), picture.width, picture.height, picture.width * 4, QImage::Format_RGBA8888)
        .copy(); // its own pixels: the content's may go
}

// The gap between the two pictures side by side, in logical units.
constexpr int SIDE_BY_SIDE_GAP = 8;
// How near the dividing line a press takes hold of it.
constexpr int DIVIDER_REACH = 8;

// Zoom factors offered; 0 fits the picture into its place (never enlarging it).
struct ZoomChoice {
    const char* caption;
    double factor;
};
constexpr ZoomChoice ZOOM_CHOICES[] = {{"Fit", 0}, {"50 %", 0.5}, {"100 %", 1}, {"200 %", 2}, {"400 %", 4}};

} // namespace

// The pictures themselves. A drag moves the dividing line when it starts on it, and otherwise
// moves the pictures when they are larger than their place.
class ComparisonView final : public QWidget {
public:
    enum class Mode { Split, SideBySide };

    explicit ComparisonView(QWidget* parent) : QWidget(parent)
    {
        setObjectName("comparison");
        setMinimumSize(200, 150);
        setMouseTracking(true);
    }

    void set_pictures(QImage before, QImage after, QString note)
    {
        before_ = std::move(before);
        after_ = std::move(after);
        note_ = std::move(note);
        update();
    }
    void set_mode(Mode mode)
    {
        mode_ = mode;
        offset_ = {};
        update();
    }
    void set_zoom(double factor)
    {
        zoom_ = factor;
        offset_ = {};
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().window());
        if (!note_.isEmpty() || before_.isNull() || after_.isNull()) {
            painter.setPen(palette().windowText().color());
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, note_);
            return;
        }
        if (mode_ == Mode::SideBySide) {
            const int half = (width() - SIDE_BY_SIDE_GAP) / 2;
            draw(painter, before_, QRect(0, 0, half, height()));
            draw(painter, after_, QRect(width() - half, 0, half, height()));
            return;
        }
        draw(painter, after_, rect());
        const int line = divider_x();
        painter.save();
        painter.setClipRect(QRect(0, 0, line, height()));
        draw(painter, before_, rect());
        painter.restore();
        painter.setPen(QPen(palette().highlight().color(), 2));
        painter.drawLine(line, 0, line, height());
        painter.setBrush(palette().highlight());
        painter.drawEllipse(QPoint(line, height() / 2), 6, 6);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        dragging_divider_ = mode_ == Mode::Split && std::abs(event->position().x() - divider_x()) <= DIVIDER_REACH;
        drag_from_ = event->position();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        const bool near = mode_ == Mode::Split && std::abs(event->position().x() - divider_x()) <= DIVIDER_REACH;
        setCursor(dragging_divider_ || near ? Qt::SplitHCursor : Qt::ArrowCursor);
        if (!(event->buttons() & Qt::LeftButton))
            return;
        if (dragging_divider_) {
            divider_ = std::clamp(event->position().x() / std::max(1, width()), 0.0, 1.0);
        } else {
            offset_ += event->position() - drag_from_;
            drag_from_ = event->position();
        }
        update();
    }
    void mouseReleaseEvent(QMouseEvent*) override { dragging_divider_ = false; }

private:
    int divider_x() const { return static_cast<int>(std::lround(divider_ * width())); }

    // The picture centred in area at the chosen zoom, moved by the drag; both pictures of a
    // comparison have one size, so they land on the same pixels.
    void draw(QPainter& painter, const QImage& image, const QRect& area) const
    {
        const double fit = std::min({1.0, static_cast<double>(area.width()) / image.width(),
                                     static_cast<double>(area.height()) / image.height()});
        const double scale = zoom_ > 0 ? zoom_ : fit;
        const QSizeF size(image.width() * scale, image.height() * scale);
        QPointF origin(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
        if (zoom_ > 0)
            origin += offset_;
        painter.save();
        painter.setClipRect(area, Qt::IntersectClip);
        // Reduced pictures are smoothed; at 100 % and more every pixel stays a crisp square, as
        // a comparison of compression needs.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1);
        painter.drawImage(QRectF(origin, size), image);
        painter.restore();
    }

    QImage before_;
    QImage after_;
    QString note_;
    Mode mode_ = Mode::Split;
    double zoom_ = 0;
    double divider_ = 0.5;
    QPointF offset_;
    QPointF drag_from_;
    bool dragging_divider_ = false;
};

PreviewWindow::PreviewWindow(QWidget* owner, const QString& title, const QString& choose_caption,
                             std::function<void()> on_choose)
    : QWidget(owner, Qt::Window)
{
    setWindowTitle(title);
    resize(900, 640);
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    auto* choose = new QPushButton(choose_caption, this);
    auto* mode = new QComboBox(this);
    mode->addItems({"Split", "Side by side"});
    auto* zoom = new QComboBox(this);
    for (const ZoomChoice& choice : ZOOM_CHOICES)
        zoom->addItem(choice.caption);
    controls->addWidget(choose);
    controls->addStretch(1);
    controls->addWidget(new QLabel("View", this));
    controls->addWidget(mode);
    controls->addWidget(new QLabel("Zoom", this));
    controls->addWidget(zoom);
    layout->addLayout(controls);

    auto* captions = new QHBoxLayout;
    before_caption_ = new QLabel(this);
    after_caption_ = new QLabel(this);
    after_caption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    captions->addWidget(before_caption_, 1);
    captions->addWidget(after_caption_, 1);
    layout->addLayout(captions);

    view_ = new ComparisonView(this);
    layout->addWidget(view_, 1);

    connect(choose, &QPushButton::clicked, this, [on_choose = std::move(on_choose)] { on_choose(); });
    connect(mode, &QComboBox::currentIndexChanged, this, [this](int index) {
        view_->set_mode(index == 0 ? ComparisonView::Mode::Split : ComparisonView::Mode::SideBySide);
    });
    connect(zoom, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(std::size(ZOOM_CHOICES)))
            view_->set_zoom(ZOOM_CHOICES[index].factor);
    });
}

void PreviewWindow::show_content(const PreviewContent& content)
{
    before_caption_->setText(to_qstring(content.before_caption));
    after_caption_->setText(to_qstring(content.after_caption));
    view_->set_pictures(image_of(content.before), image_of(content.after), to_qstring(content.note));
}

} // namespace pictavo
