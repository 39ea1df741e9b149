#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

// The commands of the kelmora executable, one file each.
namespace kelmora::app {

// What a command's parser gives back when --help was asked for: the text to print.
struct HelpRequest {
    QString text;
};

// -h, --help: the same option for every command.
inline QCommandLineOption helpOption() {
    return QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("Muestra estas opciones."));
}

// The parser's help with Spanish headings and the command's real name ("kelmora render").
QString spanishHelp(const QCommandLineParser& parser, const QString& command);
// The parser's error in Spanish ("opción desconocida: --x", "falta el valor de --dir").
QString spanishError(const QCommandLineParser& parser);

// kelmora render [options] ANSWER_FILE OUT_DIR: prints a poll answer on virtual printers.
int runRender(int argc, char** argv);
// kelmora [options]: the print service.
int runService(int argc, char** argv);
// kelmora demo [options]: the service against an embedded demo server.
int runDemo(int argc, char** argv);
// kelmora trabajos [options]: lists the documents of the journal.
int runJobList(int argc, char** argv);
// kelmora reimprimir [options] ID: prints a document of the journal again.
int runReprint(int argc, char** argv);
// kelmora descartar [options] ID: takes a document off what is still to print.
int runDiscard(int argc, char** argv);
// kelmora impresoras [options]: the printers the service would use, and their state now.
int runPrinterList(int argc, char** argv);
// kelmora comprobar [options]: checks a set-up before the service starts; 0 when all is well.
int runCheck(int argc, char** argv);

}  // namespace kelmora::app
