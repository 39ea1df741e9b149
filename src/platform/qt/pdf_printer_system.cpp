#include "platform/qt/pdf_printer_system.h"

#include "json/runtime_error.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>

namespace kelmora::platform {

using paper::Document;

PdfPrinterSystem::PdfPrinterSystem(const Options& options, PdfSink onDocument, RawSink onRaw)
    : VirtualPrinterSystem({options.printers, options.defaultPrinter, options.offline}, {}, std::move(onRaw)),
      onDocument_(std::move(onDocument)),
      painter_(options.paperWidthMm) {}

void PdfPrinterSystem::checkDevice(const QString& deviceName) {
    VirtualPrinterSystem::checkDevice(deviceName);
    if (const QString reason = painter_.cannotPaintReason(); !reason.isEmpty()) {
        throw RuntimeError(QStringLiteral("La impresora %1 no puede dibujar: %2").arg(deviceName, reason));
    }
}

void PdfPrinterSystem::deliverDocument(const QString& deviceName, const Document& document) {
    const QByteArray pdf = painter_.paint(document);
    if (onDocument_) onDocument_(deviceName, document, pdf);
    recordDelivery(Delivery{deviceName, QStringLiteral("application/pdf"), pdf, 0});
}

PdfFolder::PdfFolder(QString folder) : folder_(std::move(folder)) {
    QDir dir(folder_);
    if (!dir.mkpath(QStringLiteral("."))) {
        throw RuntimeError(QStringLiteral("No se puede crear la carpeta %1").arg(folder_));
    }
    static const QRegularExpression numbered(QStringLiteral("^(\\d{3,})-"));
    const QStringList files = dir.entryList(QDir::Files);
    for (const QString& file : files) {
        const auto match = numbered.match(file);
        if (match.hasMatch()) next_ = std::max(next_, match.captured(1).toInt() + 1);
    }
}

QString PdfFolder::write(const QString& deviceName, const QString& extension, const QByteArray& bytes) {
    QString device = deviceName;
    device.replace(u'/', u'_').replace(u'\\', u'_');
    const QString path = QDir(folder_).filePath(
        QStringLiteral("%1-%2.%3").arg(next_, 3, 10, QLatin1Char('0')).arg(device, extension));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw PrinterError(PrinterError::Scope::Printer,
                           QStringLiteral("No se puede escribir el archivo %1: %2").arg(path, file.errorString()));
    }
    ++next_;
    return path;
}

PdfPrinterSystem::PdfSink PdfFolder::documentSink() {
    return [this](const QString& deviceName, const Document&, const QByteArray& pdf) {
        write(deviceName, QStringLiteral("pdf"), pdf);
    };
}

PdfPrinterSystem::RawSink PdfFolder::rawSink() {
    return [this](const QString& deviceName, const QByteArray& bytes) {
        write(deviceName, QStringLiteral("raw"), bytes);
    };
}

}  // namespace kelmora::platform
