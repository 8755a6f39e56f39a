#pragma once

#include <QTextEdit>

namespace ui {

// RichEdit1, the read-only viewer of the instruction screens. Enter typed into it confirms the
// instruction; every other key is ignored, Tab and Shift+Tab included, so the focus stays here.
class InstructionViewer : public QTextEdit
{
    Q_OBJECT

public:
    explicit InstructionViewer(QWidget* parent = nullptr);

    // Replaces the content by `fileName` (relative to the current directory), read as rich text or,
    // when it is not rich text, as plain text. Throws rtf::LoadError with the message of
    // rtf::readInstructionFile(), which names the file and the reason; the content is then unchanged.
    void loadFile(const QString& fileName);

    // Replaces the content by a plain screen saying that the instructions in `fileName` cannot be shown
    // and that Enter goes on.
    void showMissingFile(const QString& fileName);

signals:
    // Enter was typed while the viewer had the focus (RichEdit1KeyPress).
    void confirmed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void replaceDocument(QTextDocument* document);

    QTextDocument* m_document = nullptr; // the document of the last file shown, owned here
};

} // namespace ui
