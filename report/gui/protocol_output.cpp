#include "report/gui/protocol_output.h"

#include "report/gui/protocol_painter.h"
#include "report/output_file.h"
#include "report/report_error.h"

#include <exception>

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

namespace report::gui {

namespace {

QString documentTitle(const ProtocolContent& content)
{
    const TestIdentity& who = content.test.identity;
    return QStringLiteral("Protokol vyšetření – %1 %2, %3")
        .arg(QString::fromStdString(who.firstName), QString::fromStdString(who.surname),
             QString::fromStdString(who.date));
}

void fail(const QString& path, const QString& reason)
{
    throw fileError(text::messages::kCannotWriteFile, path.toStdString(), reason.toStdString());
}

} // namespace

void writeProtocolPdf(const QString& path, const ProtocolContent& content)
{
    // The page is made in memory (a few tens of kB) and written as the exports are written, with the
    // same checks of the output and the same care for the file it replaces.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        writer.setResolution(1200);
        writer.setTitle(documentTitle(content));
        writer.setCreator(QStringLiteral("tivora-report"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            fail(path, QStringLiteral("the PDF could not be started"));
        }
        paintProtocol(painter, QRectF(0, 0, writer.width(), writer.height()), content);
        painter.end();
    }
    OutputFile file(path.toStdString());
    file.write(std::string_view(pdf.data().constData(), static_cast<std::size_t>(pdf.data().size())));
    file.commit();
}

void printProtocol(QPrinter& printer, const ProtocolContent& content)
{
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    printer.setDocName(documentTitle(content));
    QPainter painter;
    if (!painter.begin(&printer)) {
        throw ReportError("The printer " + printer.printerName().toStdString() + " cannot be started");
    }
    paintProtocol(painter, printer.paperRect(QPrinter::DevicePixel), content);
    painter.end();
}

int runProtocol(const Command& command, std::ostream& err, const DatabaseOpener& openDatabase)
{
    try {
        const std::unique_ptr<TestSource> source = openSource(command, err, openDatabase);
        const ProtocolContent content = loadProtocol(*source, command.database.empty() ? command.row : command.test,
                                                     command.exportOptions.analysis);
        source->refuseAsOutput(command.output);
        writeProtocolPdf(QString::fromStdString(command.output), content);
        for (const RowIssue& issue : content.analysis.issues) {
            err << "tivora-report: " << problemLine(content.test.identity.record, issue) << '\n';
        }
        return content.analysis.hasErrors() ? kExitRowErrors : kExitOk;
    } catch (const std::exception& error) {
        err << "tivora-report: " << error.what() << '\n';
        return kExitFailure;
    }
}

} // namespace report::gui
