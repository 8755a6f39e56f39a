#pragma once

#include <QTextEdit>

namespace ui {

// RichEdit1, the read-only viewer of the instruction screens. Enter typed into it confirms the
// instruction; every other key is ignored.
class InstructionViewer : public QTextEdit
{
    Q_OBJECT

public:
    explicit InstructionViewer(QWidget* parent = nullptr);

    // Replaces the content by `fileName` (relative to the current directory), read as rich text or,
    // when it is not rich text, as plain text. Throws std::runtime_error "Cannot open file <fileName>"
    // or "Failed to Load Stream"; the content is then unchanged.
    void loadFile(const QString& fileName);

signals:
    // Enter was typed while the viewer had the focus (RichEdit1KeyPress).
    void confirmed();
    // Tab was pressed: the focus leaves for the first control of the window.
    void tabPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QTextDocument* m_document = nullptr; // the document of the last file shown, owned here
};

} // namespace ui
