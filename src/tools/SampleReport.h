#pragma once

namespace tarvolo::printing {
class TQRPrinter;
}

namespace tarvolo::tools {

// Records a sample business report through the report printer's recording path: a title, a page
// header, a table of sales rows running over `pages` pages, a logo and a "Página n de N" footer.
void RecordSampleReport(printing::TQRPrinter& printer, int pages);

} // namespace tarvolo::tools
