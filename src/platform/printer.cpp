#include "platform/printer.h"

#include "printing/document/font_metric.h"

namespace kelmora::platform {

using paper::Document;
using paper::DocumentPicture;
using paper::DocumentRow;
using paper::Picture;
using paper::PrinterLine;

double Printer::textWidth(const QString& text) const {
    return paper::font_metric::textWidth(font_.name, font_.size, text);
}

double Printer::textHeight(const QString& text) const {
    const auto lines = text.count(u'\n') + 1;
    return paper::font_metric::lineHeight(font_.size) * static_cast<double>(lines);
}

void Printer::printLine(const PrinterLine& line) {
    probeLinePending_ = false;
    for (const QString& row : line.layOut()) document_.rows.append(DocumentRow{font_, row});
}

void Printer::paintPicture(const Picture& picture, double x, double y, double width, double height) {
    probeLinePending_ = false;
    document_.pictures.append(DocumentPicture{font_, picture, x, y, width, height});
}

void Printer::probe() {
    checkAvailable();
    printLine(PrinterLine());
    probeLinePending_ = true;
}

void Printer::closeProbe() {
    if (probeLinePending_ && !document_.rows.isEmpty()) document_.rows.removeLast();
    probeLinePending_ = false;
}

void Printer::endDoc() {
    Document finished = std::move(document_);
    document_ = Document();
    probeLinePending_ = false;
    deliver(finished);
}

void Printer::killDoc() {
    document_ = Document();
    probeLinePending_ = false;
}

QList<JobStatus> PrinterSystem::jobStatuses(const QList<int>& jobIds) {
    QList<JobStatus> statuses;
    for (const int id : jobIds) {
        JobStatus status;
        status.jobId = id;
        status.state = JobStatus::State::Completed;
        status.documents = 1;
        statuses.append(status);
    }
    return statuses;
}

std::optional<JobStatus> PrinterSystem::findJob(const QString&) { return std::nullopt; }

void PrinterSystem::cancelJob(int) {}

std::optional<bool> PrinterSystem::deviceAnswers(const QString&) { return std::nullopt; }

QList<PrinterSystem::PrinterState> PrinterSystem::printerStates() {
    QList<PrinterState> states;
    for (const QString& name : printerNames()) states.append({name, QString(), QString(), QString()});
    return states;
}

QString PrinterSystem::jobTitle(const QString& kind) const {
    if (jobName_.isEmpty()) return kind;
    return kind.isEmpty() ? jobName_ : jobName_ + u' ' + kind;
}

}  // namespace kelmora::platform
