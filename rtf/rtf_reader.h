#pragma once

#include "base/error.h"

#include <QByteArrayView>
#include <QString>

class QTextDocument;

// Reading the instruction screens shown between test blocks. Examiners write them in a word processor and
// save them as rich text (RTF), or as plain text; Qt reads neither RTF nor the code page older stations
// wrote plain text in, so this library does both.
namespace rtf {

// An instruction file could not be shown. what() is the message the examiner sees, exactly; it names the
// file (see readInstructionFile()).
class LoadError : public base::Error
{
public:
    using base::Error::Error;
};

// True when `data` is RTF: it starts with "{\rtf", after optional white space (and an optional UTF-8
// byte order mark, which some tools put in front).
bool looksLikeRtf(QByteArrayView data);

// Replaces the content of `document` with the RTF in `data`. Any bytes are accepted and nothing is thrown
// (short of running out of memory): the reader shows what it can make of damaged or hostile input, and its
// time and memory grow in proportion to the input. Bytes before the first '{' and after the group that
// started there are ignored; a document whose last '}' is missing ends with the data. Groups nested more
// than kMaxGroupDepth deep are skipped whole. The document's undo stack is cleared; its default font and
// other document-wide settings are left as they are.
void readRtf(QByteArrayView data, QTextDocument& document);

// Groups nested deeper than this are skipped with everything in them (no word processor nests this deep).
inline constexpr int kMaxGroupDepth = 1000;

// Files larger than this are refused without being read: an instruction screen is a few kilobytes (a few
// megabytes with a picture), and the limit keeps a wrong file name from filling the memory.
inline constexpr qint64 kMaxInstructionFileSize = 16 * 1024 * 1024;

// Replaces the content of `document` with the instruction file at `path` (relative paths resolve against
// the current directory). RTF (see looksLikeRtf) is read as RTF; anything else as plain text: UTF-8 when it
// is valid UTF-8 (a byte order mark is dropped), else code page 1250, with CR LF, LF or CR ending a line,
// in the document's default format. Only a regular file is read (base::readUserFile(): nothing waits on
// a pipe or reads a device). Throws LoadError, naming the file by `path`:
// - "Cannot open file <path>" when it is missing; with ": <reason>" added when it is a folder, a pipe, a
//   device or another special file, or cannot be opened ("Permission denied");
// - "Cannot read file <path>: <the system's reason>" when reading fails;
// - "Failed to Load Stream: file <path> is larger than 16 MB, more than any instruction screen" beyond
//   kMaxInstructionFileSize;
// - "Failed to Load Stream: file <path> is neither rich text nor plain text" when it holds NUL or other
//   control characters that text does not contain: anything below 0x20 but TAB, LF, FF and CR, or DEL
//   (one Ctrl-Z at the very end, which DOS editors write, is dropped).
// `document` is left unchanged when it throws.
void readInstructionFile(const QString& path, QTextDocument& document);

} // namespace rtf
