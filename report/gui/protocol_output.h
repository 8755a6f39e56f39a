#pragma once

#include "report/command_line.h"
#include "report/gui/protocol_content.h"

#include <ostream>

#include <QString>

class QPrinter;

namespace report::gui {

// Writes the protocol as a one-page A4 PDF to `path` through an OutputFile (output_file.h): refused for
// anything but a regular file or a new name, renamed to `path` once complete and on the disk. Needs a
// QGuiApplication. Throws ReportError "Cannot write file <path>: <reason>" and "Cannot create file
// <path>: <reason>".
void writeProtocolPdf(const QString& path, const ProtocolContent& content);

// Prints the protocol on `printer` (set up for A4 here, whole sheet). Needs a QGuiApplication. Throws
// ReportError when the printer cannot be started.
void printProtocol(QPrinter& printer, const ProtocolContent& content);

// The protocol command: reads the test from the table or the database (through `openDatabase`) and
// writes the PDF. Returns the exit code (kExitRowErrors when the row has errors, listed on `err`).
// Needs a QGuiApplication. Never throws.
int runProtocol(const Command& command, std::ostream& err, const DatabaseOpener& openDatabase = {});

} // namespace report::gui
