#pragma once

#include "EmfPlayer.h"
#include "metafile/Metafile.h"

#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

namespace tarvolo::emf {

// Ready-made drawings of whole pages: an image of any size, or a vector PDF.
class PageRenderer {
public:
    // The page's frame at dpi dots per inch, as the reference renderer sizes it.
    static QSize SizeAtDpi(const Metafile& page, double dpi);
    // The page stretched onto a white image of the given size.
    static QImage RenderImage(const Metafile& page, QSize size, PlaybackReport* report = nullptr);
    // Every page as a PDF page of its frame's size; text stays text. Fails with a message.
    static void WritePdf(const std::vector<Metafile>& pages, QIODevice& output, const QString& title);
    static void WritePdf(const std::vector<Metafile>& pages, const QString& path, const QString& title);
};

} // namespace tarvolo::emf
