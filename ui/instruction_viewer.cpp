#include "ui/instruction_viewer.h"

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
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        emit tabPressed();
        return;
    }
    // Every other key is swallowed here, so that none reaches the test window as a response.
    event->accept();
}

bool InstructionViewer::focusNextPrevChild(bool /*next*/)
{
    emit tabPressed();
    return true;
}

} // namespace ui
