#pragma once

#include "engine/program_file.h"
#include "engine/program_lines.h"

#include <string>
#include <vector>

#include <QGroupBox>

class QLabel;
class QPushButton;
class QTextEdit;

namespace ui {

// The test program as the program editor shows it: its display lines. A long line wraps at the
// editor's width and each wrapped piece is a line of its own; a final empty line (a text that ends
// with a line end) does not count. Lines are computed from the editor's current text whenever they
// are asked for after a change, so edits take effect at once, saved or not.
class EditorProgramLines : public engine::ProgramLines
{
public:
    // `editor` must outlive this object; its wrap width must be a fixed pixel width.
    explicit EditorProgramLines(const QTextEdit& editor);

    int lineCount() const override;
    std::string line(int index) const override;

private:
    void refresh() const;

    const QTextEdit& m_editor;
    mutable std::vector<std::string> m_lines;
    mutable int m_revision = -1;
    mutable int m_width = -1;
};

// GroupBox1, the program editor panel: Memo1 with the test program, Label2 with the file name and the
// buttons "Uložit" (save) and "Zavřít" (close).
class ProgramEditor : public QGroupBox
{
    Q_OBJECT

public:
    explicit ProgramEditor(QWidget* parent = nullptr);

    // Loads `fileName` (relative to the current directory) into the editor. Throws engine::IoError
    // "Cannot open file <fileName>" with the reason when it is no file or beyond the limits of a program
    // (engine::loadProgramFile()); the editor then keeps its text.
    void loadProgram(const QString& fileName);

    // Label2's text.
    void setFileLabel(const QString& text);

    // The display lines of Memo1: the running test program.
    const engine::ProgramLines& programLines() const { return m_lines; }

    QTextEdit* memo() const { return m_memo; }

public slots:
    // "Uložit": writes the editor's text to program.txt in the current directory, in the encoding the
    // program was read in; a text beyond the limits of a program is not saved (engine::saveProgramFile()).
    // Errors are shown by the default error handler.
    void Button2Click();
    // "Zavřít": hides the panel without saving.
    void Button1Click();

private:
    QTextEdit* m_memo;
    QLabel* m_fileLabel;
    QPushButton* m_saveButton;
    QPushButton* m_closeButton;
    EditorProgramLines m_lines;
    engine::TextEncoding m_encoding = engine::TextEncoding::Cp1250; // a missing program.txt is new
};

} // namespace ui
