// Every ticket kind on both rolls, printed on the text printers and painted: the paper reads back
// as the preview, and every word stands in the preview's columns, so right-aligned amounts end at
// one x.
#include "platform/qt/pdf_reading.h"
#include "platform/qt/ticket_documents.h"

#include "printing/pdf/pdf_painter.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

using PaperGolden = TicketDocuments;

TEST_P(PaperGolden, ReadsBackAsThePreviewWithEveryWordInItsColumns) {
    const TicketCase& c = GetParam();
    printCase(c);
    ASSERT_FALSE(printers.delivered().empty());

    paper::PdfPainter painter(c.roll);
    for (const auto& delivered : printers.delivered()) {
        if (delivered.isRaw) continue;
        SCOPED_TRACE(delivered.deviceName.toStdString() + " " + delivered.document.kind.toStdString());
        const QByteArray pdf = painter.paint(delivered.document);
        EXPECT_EQ(collapsedLines(pdfText(pdf)), collapsedLines(platform::renderText(delivered.document, false)));
        EXPECT_EQ(placementFaults(delivered.document, pdfWords(pdf)), QStringList());
        if (c.kind == TicketKind::Facturas) {
            EXPECT_EQ(delivered.document.pictures.size(), 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKindOnBothRolls, PaperGolden, kEveryTicketOnBothRolls, ticketCaseName);

}  // namespace
}  // namespace kelmora::testing
