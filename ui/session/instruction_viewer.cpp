#include "ui/session/instruction_viewer.h"

#include "rtf/rtf_reader.h"

#include <QKeyEvent>

namespace ui {

InstructionViewer::InstructionViewer(QWidget* parent)
    : QTextEdit(parent)
{
    setObjectName(QStringLiteral("RichEdit1"));
    setReadOnly(true);
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextInteractionFlags(Qt::NoTextInteraction);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Active, QPalette::Highlight));
    setPalette(colours);
}

void InstructionViewer::loadFile(const QString& fileName)
{
    auto* document = new QTextDocument(this);
    try {
        rtf::readInstructionFile(fileName, *document);
    } catch (...) {
        delete document;
        throw;
    }
    // Only a completely read file replaces what is shown.
    replaceDocument(document);
}

void InstructionViewer::showMissingFile(const QString& fileName)
{
    auto* document = new QTextDocument(this);
    document->setPlainText(
        QStringLiteral("Pokyny ze souboru „%1“ nelze zobrazit.\n\nPokračujte stisknutím klávesy Enter.").arg(fileName));
    replaceDocument(document);
}

void InstructionViewer::replaceDocument(QTextDocument* document)
{
    QTextDocument* previous = m_document;
    setDocument(document);
    m_document = document;
    delete previous;
}

void InstructionViewer::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit confirmed();
        return;
    }
    // Every other key is swallowed here, so that none reaches the test window as a response.
    event->accept();
}

bool InstructionViewer::focusNextPrevChild(bool /*next*/)
{
    // Tab and Shift+Tab keep the focus here: on the hidden button Enter would no longer confirm.
    return true;
}

} // namespace ui
