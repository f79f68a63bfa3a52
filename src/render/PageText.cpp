#include "PageText.h"

#include "EmfPlayer.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tarvolo::emf {

namespace {

// Pages are drawn at most some thousands of pixels wide: a run further right is damage, and
// must not make a line of that many spaces.
constexpr qsizetype kMaxColumn = 1000;

struct Run {
    QString text;
    std::vector<QRectF> boxes;
    double baseline = 0;
    double left = 0;
    double right = 0;
    double em = 0;
};

bool IsFinite(const QRectF& r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

// The runs as played, in playing order, up to the character cap.
std::vector<Run> PlayedRuns(const Metafile& page, QSize pageSize)
{
    std::vector<Run> runs;
    qsizetype characters = 0;
    const TextSink sink = [&](const TextRun& played) {
        if (characters >= PageText::kMaxCharacters || played.text.isEmpty() || played.boxes.size() != played.text.size() ||
            !std::isfinite(played.origin.x()) || !std::isfinite(played.origin.y()) || !(played.em > 0) || !std::isfinite(played.em))
            return;
        if (!std::all_of(played.boxes.begin(), played.boxes.end(), IsFinite))
            return;
        qsizetype take = std::min(played.text.size(), PageText::kMaxCharacters - characters);
        if (take < played.text.size() && played.text[take - 1].isHighSurrogate())
            --take;
        if (take <= 0)
            return;
        Run run;
        run.text = played.text.left(take);
        run.boxes.assign(played.boxes.begin(), played.boxes.begin() + take);
        run.baseline = played.origin.y();
        run.em = played.em;
        run.left = run.boxes.front().left();
        run.right = run.boxes.front().right();
        for (const QRectF& box : run.boxes) {
            run.left = std::min(run.left, box.left());
            run.right = std::max(run.right, box.right());
        }
        characters += take;
        runs.push_back(std::move(run));
    };
    if (pageSize.isEmpty())
        return runs;
    // Only the text is wanted: the page plays onto one pixel, its coordinates those of the full size.
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&device);
    EmfPlayer::Play(page, painter, QRectF(QPointF(0, 0), QSizeF(pageSize)), sink);
    return runs;
}

// Runs whose baselines lie within half the smaller em of the line's first baseline share its
// line; lines top to bottom, runs left to right.
std::vector<std::vector<const Run*>> Lines(const std::vector<Run>& runs)
{
    std::vector<const Run*> byBaseline;
    byBaseline.reserve(runs.size());
    for (const Run& run : runs)
        byBaseline.push_back(&run);
    std::stable_sort(byBaseline.begin(), byBaseline.end(), [](const Run* a, const Run* b) { return a->baseline < b->baseline; });
    std::vector<std::vector<const Run*>> lines;
    double lineBaseline = 0, lineEm = 0;
    for (const Run* run : byBaseline) {
        if (lines.empty() || run->baseline - lineBaseline > std::min(lineEm, run->em) / 2) {
            lines.emplace_back();
            lineBaseline = run->baseline;
            lineEm = run->em;
        }
        lines.back().push_back(run);
    }
    for (auto& line : lines)
        std::stable_sort(line.begin(), line.end(), [](const Run* a, const Run* b) { return a->left < b->left; });
    return lines;
}

} // namespace

PageText::PageText(const Metafile& page, QSize pageSize)
{
    const std::vector<Run> runs = PlayedRuns(page, pageSize);
    double width = 0;
    qsizetype characters = 0;
    for (const auto& line : Lines(runs)) {
        if (!lines_.empty()) {
            text_.append(QChar('\n'));
            boxes_.emplace_back();
        }
        lines_.emplace_back();
        const Run* previous = nullptr;
        for (const Run* run : line) {
            bool spaced = false;
            if (previous) {
                const double gap = run->left - previous->right;
                spaced = gap > std::min(previous->em, run->em) / 4;
                if (spaced && !previous->text.back().isSpace() && !run->text.front().isSpace()) {
                    const QRectF before = previous->boxes.back(), after = run->boxes.front();
                    text_.append(QChar(' '));
                    boxes_.emplace_back(QPointF(previous->right, std::min(before.top(), after.top())),
                                        QPointF(run->left, std::max(before.bottom(), after.bottom())));
                }
            }
            lines_.back().push_back(Piece{text_.size(), run->text.size(), run->left, spaced});
            text_.append(run->text);
            boxes_.insert(boxes_.end(), run->boxes.begin(), run->boxes.end());
            width += run->right - run->left;
            characters += run->text.size();
            previous = run;
        }
    }
    averageCharWidth_ = characters > 0 && width > 0 ? width / static_cast<double>(characters) : 1.0;
}

std::vector<QRectF> PageText::BoxesOf(qsizetype start, qsizetype length) const
{
    std::vector<QRectF> boxes;
    const qsizetype from = std::clamp<qsizetype>(start, 0, text_.size());
    const qsizetype to = length > 0 ? std::clamp<qsizetype>(start + length, from, text_.size()) : from;
    QRectF line;
    for (qsizetype i = from; i < to; ++i) {
        const QRectF& box = boxes_[static_cast<std::size_t>(i)];
        if (box.isNull()) {
            if (!line.isNull())
                boxes.push_back(line);
            line = QRectF();
        } else {
            line = line.isNull() ? box : line.united(box);
        }
    }
    if (!line.isNull())
        boxes.push_back(line);
    return boxes;
}

QString PageText::LayoutText() const
{
    QString layout;
    for (const auto& line : lines_) {
        QString row;
        for (const Piece& piece : line) {
            qsizetype column = row.size();
            if (row.isEmpty() || piece.spaced) {
                const double wanted = std::clamp(std::round(piece.left / averageCharWidth_), 0.0, double(kMaxColumn));
                column = std::max(static_cast<qsizetype>(wanted), row.isEmpty() ? 0 : row.size() + 1);
            }
            // In place: a line of many runs must not be copied once per run.
            if (column > row.size())
                row.append(QString(column - row.size(), QChar(' ')));
            row.append(QStringView(text_).mid(piece.start, piece.length));
        }
        layout.append(row);
        layout.append(QChar('\n'));
    }
    return layout;
}

} // namespace tarvolo::emf
