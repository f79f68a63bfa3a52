#include "SampleReport.h"

#include "printing/TQRPrinter.h"

#include <QPainter>
#include <QPainterPath>

namespace tarvolo::tools {

namespace {

using printing::TQRPrinter;

// Positions in 0.1 mm on an A4 page.
constexpr int kLeft = 150, kRight = 1950, kTop = 120;
constexpr int kRowHeight = 60;
constexpr int kTableTopFirstPage = 520, kTableTop = 330, kTableBottom = 2750, kFooterTop = 2820;
const int kColumns[] = {kLeft, 420, 700, 1450, 1700};

QImage Logo()
{
    QImage logo(96, 96, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x1F, 0x3A, 0x5F));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(4, 4, 88, 88), 18, 18);
    painter.setBrush(QColor(0xF2, 0xA9, 0x00));
    painter.drawEllipse(QRectF(52, 14, 30, 30));
    QFont font("Liberation Sans");
    font.setPixelSize(56);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(4, 16, 88, 80), Qt::AlignCenter, "T");
    return logo;
}

class SamplePage {
public:
    explicit SamplePage(TQRPrinter& printer) : printer_(printer), canvas_(*printer.OutputCanvas()) {}

    QRect Box(int left, int top, int right, int bottom) const
    {
        return QRect(QPoint(printer_.ToDeviceX(left), printer_.ToDeviceY(top)),
                     QPoint(printer_.ToDeviceX(right) - 1, printer_.ToDeviceY(bottom) - 1));
    }
    void Text(int x, int y, const QString& text, int heightTenths, bool bold, QColor color = Qt::black)
    {
        canvas_.font.face = "Arial";
        canvas_.font.height = -printer_.ToDeviceHeight(heightTenths);
        canvas_.font.bold = bold;
        canvas_.font.color = color;
        canvas_.TextOut(printer_.ToDeviceX(x), printer_.ToDeviceY(y), text);
    }
    void RightText(int right, int y, const QString& text, int heightTenths, bool bold)
    {
        canvas_.font.height = -printer_.ToDeviceHeight(heightTenths);
        canvas_.font.bold = bold;
        const int width = canvas_.TextWidth(text);
        canvas_.font.color = Qt::black;
        canvas_.TextOut(printer_.ToDeviceX(right) - width, printer_.ToDeviceY(y), text);
    }
    void Rule(int y, QColor color, int widthTenths)
    {
        canvas_.pen.color = color;
        canvas_.pen.width = std::max(1, printer_.ToDeviceWidth(widthTenths));
        canvas_.MoveTo(printer_.ToDeviceX(kLeft), printer_.ToDeviceY(y));
        canvas_.LineTo(printer_.ToDeviceX(kRight), printer_.ToDeviceY(y));
    }
    void Band(int top, int bottom, QColor color)
    {
        canvas_.brush.color = color;
        canvas_.FillRect(Box(kLeft, top, kRight, bottom));
    }
    void Image(int left, int top, int size, const QImage& image) { canvas_.StretchDraw(Box(left, top, left + size, top + size), image); }

private:
    TQRPrinter& printer_;
    emf::ReportCanvas& canvas_;
};

QString Money(long cents)
{
    QString units = QString::number(cents / 100);
    for (int i = static_cast<int>(units.size()) - 3; i > 0; i -= 3)
        units.insert(i, '.');
    return units + ',' + QString("%1").arg(cents % 100, 2, 10, QChar('0')) + " €";
}

const char* const kCustomers[] = {"Ferretería El Clavo", "Muebles Ibáñez", "Librería Cervantes", "Distribuciones Álvarez",
                                  "Óptica Núñez", "Panadería La Espiga", "Talleres Gómez e Hijos", "Farmacia Peña"};

} // namespace

void RecordSampleReport(TQRPrinter& printer, int pages)
{
    const QImage logo = Logo();
    const QColor navy(0x1F, 0x3A, 0x5F), band(0xDD, 0xE6, 0xF2), line(0xC8, 0xC8, 0xC8);
    const int rowsFirstPage = (kTableBottom - kTableTopFirstPage - kRowHeight) / kRowHeight;
    const int rowsPerPage = (kTableBottom - kTableTop - kRowHeight) / kRowHeight;
    int row = 0;
    long total = 0;

    printer.BeginReport();
    for (int page = 1; page <= pages; ++page) {
        printer.StartNewPage();
        SamplePage canvas(printer);
        // Page header on every page.
        canvas.Image(kLeft, kTop - 20, 150, logo);
        canvas.Text(kLeft + 190, kTop, "Distribuidora Ejemplo S.A.", 60, true, navy);
        canvas.Text(kLeft + 190, kTop + 80, "C/ Mayor 123, 28013 Madrid — CIF A-12345678", 32, false);
        canvas.Rule(kTop + 170, navy, 5);
        int top = kTableTop;
        if (page == 1) {
            canvas.Text(kLeft, 350, "Relatório de vendas — janeiro de 2024", 55, true, navy);
            top = kTableTopFirstPage;
        }
        // Column headings.
        canvas.Band(top, top + kRowHeight, band);
        const char* headings[] = {"Fecha", "Documento", "Cliente", "Unidades"};
        for (int c = 0; c < 4; ++c)
            canvas.Text(kColumns[c] + 15, top + 15, headings[c], 32, true);
        canvas.RightText(kRight - 15, top + 15, "Importe", 32, true);
        const int rows = page == 1 ? rowsFirstPage : rowsPerPage;
        for (int r = 0; r < rows; ++r, ++row) {
            const int y = top + kRowHeight * (r + 1);
            const long amount = 12345 + (row * 7919L) % 250000;
            total += amount;
            canvas.Text(kColumns[0] + 15, y + 15, QString("%1/01/2024").arg(1 + row % 28, 2, 10, QChar('0')), 32, false);
            canvas.Text(kColumns[1] + 15, y + 15, QString("F-%1").arg(100 + row, 6, 10, QChar('0')), 32, false);
            canvas.Text(kColumns[2] + 15, y + 15, kCustomers[row % 8], 32, false);
            canvas.Text(kColumns[3] + 15, y + 15, QString::number(1 + row % 17), 32, false);
            canvas.RightText(kRight - 15, y + 15, Money(amount), 32, false);
            canvas.Rule(y + kRowHeight, line, 2);
        }
        if (page == pages) {
            const int y = top + kRowHeight * (rows + 1) + 20;
            canvas.RightText(kRight - 15, std::min(y, kTableBottom), "Total: " + Money(total), 36, true);
        }
        // Footer.
        canvas.Rule(kFooterTop, navy, 3);
        canvas.Text(kLeft, kFooterTop + 30, "Emitido por Tarvolo", 28, false);
        canvas.RightText(kRight, kFooterTop + 30, QString("Página %1 de %2").arg(page).arg(pages), 28, false);
    }
    printer.EndReport();
}

} // namespace tarvolo::tools
