#pragma once

#include "EmfPlayer.h"
#include "metafile/Metafile.h"

#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tarvolo::emf {

// Ready-made drawings of whole pages: an image of any size, or a vector PDF.
class PageRenderer {
public:
    // The page's frame at dpi dots per inch, as the reference renderer sizes it.
    static QSize SizeAtDpi(const Metafile& page, double dpi);
    enum class Cores { Every, One };
    // The page stretched onto a white image of the given size. A large image is drawn in bands on
    // every core, which join into exactly the image one pass draws; callers that already keep
    // every core busy with pages of their own ask for one pass.
    static QImage RenderImage(const Metafile& page, QSize size, PlaybackReport* report = nullptr, Cores cores = Cores::Every);
    // The part `tile` of the page stretched onto pageSize pixels, on white: the pixels of that
    // rectangle of the whole image, drawn without the rest. `image` is tile-sized, at a device
    // pixel ratio of 1 while it is drawn.
    static PlaybackReport RenderTile(const Metafile& page, QSize pageSize, QRect tile, QImage& image);
    // Page n (from 1) of a document, or nothing for a page that is missing.
    using PageFetcher = std::function<std::unique_ptr<Metafile>(int n)>;

    // Every page as a PDF page of its frame's size; text stays text. Pages are fetched in order a
    // few ahead, on a thread of their own, so memory does not grow with the page count and the
    // fetcher must serve another thread. Fails with a message, or with a page's own error.
    static void WritePdf(int pageCount, const PageFetcher& page, QIODevice& output, const QString& title);
    static void WritePdf(const std::vector<Metafile>& pages, QIODevice& output, const QString& title);
};

} // namespace tarvolo::emf
