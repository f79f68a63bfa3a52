#include "render/detail/FontMapper.h"

#include "render/Fonts.h"
#include "render/detail/ThreadFonts.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace tarvolo::emf {

namespace {

// Faces some fonts package has a metric-compatible stand-in for, with where to look next.
struct Substitute {
    const char* windowsFace;
    const char* candidates[3];
};

const Substitute kSubstitutes[] = {
    {"arial", {"Liberation Sans", "Arimo", nullptr}},
    {"helvetica", {"Liberation Sans", nullptr, nullptr}},
    {"arial narrow", {"Liberation Sans Narrow", "Liberation Sans", nullptr}},
    {"times new roman", {"Liberation Serif", "Tinos", nullptr}},
    {"times", {"Liberation Serif", nullptr, nullptr}},
    {"courier new", {"Liberation Mono", "Cousine", nullptr}},
    {"courier", {"Liberation Mono", nullptr, nullptr}},
    {"calibri", {"Carlito", "Liberation Sans", nullptr}},
    {"cambria", {"Caladea", "Liberation Serif", nullptr}},
    {"tahoma", {"Tahoma", "DejaVu Sans", nullptr}},
    {"verdana", {"DejaVu Sans", "Liberation Sans", nullptr}},
    {"ms sans serif", {"MS Sans Serif", "Liberation Sans", nullptr}},
    {"microsoft sans serif", {"MS Sans Serif", "Liberation Sans", nullptr}},
    {"ms shell dlg", {"Tahoma", "Liberation Sans", nullptr}},
    {"segoe ui", {"Liberation Sans", nullptr, nullptr}},
    {"system", {"System", "Liberation Sans", nullptr}},
    // Symbol fonts: their codes are turned into Unicode symbols (SymbolCharacters), which these draw.
    {"symbol", {"Symbola", "DejaVu Sans", nullptr}},
    {"wingdings", {"Symbola", "DejaVu Sans", nullptr}},
    {"webdings", {"Symbola", "DejaVu Sans", nullptr}},
};

constexpr const char* kDefaultFamily = "Liberation Sans";
constexpr const char* kWineFontFolder = "/usr/share/wine/fonts";

} // namespace

void RegisterFallbackFonts()
{
    static std::once_flag registered;
    std::call_once(registered, [] {
        const QDir folder(kWineFontFolder);
        for (const QString& file : folder.entryList({"*.ttf"}, QDir::Files))
            QFontDatabase::addApplicationFont(folder.filePath(file));
    });
}

FontMapper& FontMapper::Instance()
{
    return ThreadFontMapper();
}

FontMapper::FontMapper()
{
    RegisterFallbackFonts();
}

std::int64_t FontMapper::CacheCost(qreal emPixels)
{
    // Any cost over the budget evicts alike, so larger ones stop there; a size that is not a
    // number costs the least.
    const double sixteenths = emPixels * 16;
    const double cost = std::max(static_cast<double>(kLeastCost), sixteenths * sixteenths);
    return static_cast<std::int64_t>(std::min(cost, static_cast<double>(kCacheBudget + 1)));
}

QString FontMapper::Family(const QString& faceName)
{
    const QString key = faceName.trimmed().toLower();
    if (auto found = families_.constFind(key); found != families_.constEnd())
        return *found;

    const QStringList installed = QFontDatabase::families();
    auto isInstalled = [&](const QString& family) { return installed.contains(family, Qt::CaseInsensitive); };
    QString family;
    for (const Substitute& substitute : kSubstitutes) {
        if (key != QLatin1String(substitute.windowsFace))
            continue;
        for (const char* candidate : substitute.candidates)
            if (candidate && isInstalled(candidate)) {
                family = candidate;
                break;
            }
        break;
    }
    if (family.isEmpty())
        family = !key.isEmpty() && isInstalled(faceName.trimmed()) ? faceName.trimmed() : QString(kDefaultFamily);
    // Face names come from the files shown; keep their number bounded.
    if (families_.size() >= kMaxRememberedFaces)
        families_.clear();
    families_.insert(key, family);
    return family;
}

QRawFont FontMapper::Font(const GdiFont& font, qreal emPixels, bool needsOutlines)
{
    QString family = Family(font.faceName);
    if (needsOutlines && !HasOutlines(family))
        family = kDefaultFamily;
    const int weight = font.weight <= 0 ? gdi::FW_NORMAL : std::clamp(font.weight, 1, 1000);
    // Sizes are cached to 1/16 pixel.
    const qreal size = std::max<qreal>(std::round(emPixels * 16.0) / 16.0, 1.0 / 16.0);
    const QString key = family + '|' + QString::number(weight) + '|' + (font.italic ? 'i' : 'r') + '|' + QString::number(size);

    if (const QRawFont* cached = cache_.Find(key))
        return *cached;
    QFont qfont(family);
    qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    qfont.setWeight(static_cast<QFont::Weight>(weight));
    qfont.setItalic(font.italic);
    qfont.setStyleStrategy(QFont::PreferOutline);
    qfont.setHintingPreference(QFont::PreferNoHinting);
    QRawFont raw = QRawFont::fromFont(qfont);
    raw.setPixelSize(size);
    cache_.Insert(key, raw, CacheCost(size));
    return raw;
}

bool FontMapper::HasOutlines(const QString& family)
{
    auto found = outlined_.constFind(family);
    if (found == outlined_.constEnd())
        found = outlined_.insert(family, QFontDatabase::isSmoothlyScalable(family));
    return *found;
}

double FontMapper::EmPixels(const GdiFont& font, double height, double scale)
{
    if (height < 0)
        return -height * scale;
    const QRawFont probe = Font(font, 100);
    const double cellPerEm = (probe.ascent() + probe.descent()) / 100.0;
    return height * scale / (cellPerEm > 0 ? cellPerEm : 1.0);
}

} // namespace tarvolo::emf
