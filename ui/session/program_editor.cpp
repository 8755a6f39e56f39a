#include "ui/session/program_editor.h"

#include "ui/common/application.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

namespace ui {

EditorProgramLines::EditorProgramLines(const QTextEdit& editor)
    : m_editor(editor)
{ }

void EditorProgramLines::refresh() const
{
    const QTextDocument* document = m_editor.document();
    const int width = m_editor.lineWrapColumnOrWidth();
    if (document->revision() == m_revision && width == m_width) {
        return;
    }
    m_lines.clear();
    // The same layout the editor's document uses: its font, wrap mode and width less the margins.
    const qreal lineWidth = width - 2 * document->documentMargin();
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(m_editor.wordWrapMode());
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (!block.next().isValid() && text.isEmpty()) {
            break; // the empty line after a final line end
        }
        QTextLayout layout(text, document->defaultFont());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(lineWidth);
            m_lines.push_back(text.mid(line.textStart(), line.textLength()).toStdString());
        }
        layout.endLayout();
        if (text.isEmpty() && layout.lineCount() == 0) {
            m_lines.emplace_back();
        }
    }
    m_revision = document->revision();
    m_width = width;
}

int EditorProgramLines::lineCount() const
{
    refresh();
    return static_cast<int>(m_lines.size());
}

std::string EditorProgramLines::line(int index) const
{
    refresh();
    if (index < 0 || index >= static_cast<int>(m_lines.size())) {
        return {};
    }
    return m_lines[static_cast<std::size_t>(index)];
}

ProgramEditor::ProgramEditor(QWidget* parent)
    : QGroupBox(QStringLiteral("  Editor programu  "), parent)
    , m_memo(new QTextEdit(this))
    , m_fileLabel(new QLabel(this))
    , m_saveButton(new QPushButton(QStringLiteral("Uložit"), this))
    , m_closeButton(new QPushButton(QStringLiteral("Zavřít"), this))
    , m_lines(*m_memo)
{
    setObjectName(QStringLiteral("GroupBox1"));
    setGeometry(0, 0, 209, 393);
    setAutoFillBackground(true);
    QPalette panel = palette();
    panel.setColor(QPalette::Window, Qt::black);
    panel.setColor(QPalette::WindowText, Qt::white);
    setPalette(panel);

    m_fileLabel->setObjectName(QStringLiteral("Label2"));
    m_fileLabel->move(104, 8);
    m_fileLabel->setMinimumWidth(100);

    m_memo->setObjectName(QStringLiteral("Memo1"));
    m_memo->setGeometry(16, 24, 161, 329);
    m_memo->setAcceptRichText(false);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette text = m_memo->palette();
    text.setColor(QPalette::Text, Qt::black);
    text.setColor(QPalette::Base, Qt::white);
    m_memo->setPalette(text);
    // A fixed wrap width, the text area inside the border and the vertical scroll bar, so that the
    // display lines (the test program) do not depend on whether the panel has been shown yet.
    const int scrollBar = m_memo->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_memo);
    m_memo->setLineWrapMode(QTextEdit::FixedPixelWidth);
    m_memo->setLineWrapColumnOrWidth(161 - 2 * m_memo->frameWidth() - scrollBar);

    m_saveButton->setObjectName(QStringLiteral("Button2"));
    m_saveButton->setGeometry(16, 360, 75, 25);
    m_closeButton->setObjectName(QStringLiteral("Button1"));
    m_closeButton->setGeometry(104, 360, 75, 25);
    connect(m_saveButton, &QPushButton::clicked, this, &ProgramEditor::Button2Click);
    connect(m_closeButton, &QPushButton::clicked, this, &ProgramEditor::Button1Click);
}

void ProgramEditor::loadProgram(const QString& fileName)
{
    const engine::ProgramFile file = engine::loadProgramFile(fileName.toStdString());
    // The editor's paragraphs are the lines; the CR LF pairs become paragraph breaks.
    QString text = QString::fromStdString(file.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_memo->setPlainText(text);
    m_encoding = file.encoding;
}

void ProgramEditor::setFileLabel(const QString& text)
{
    m_fileLabel->setText(text);
    m_fileLabel->adjustSize();
}

void ProgramEditor::Button2Click()
{
    guarded(this, [&] {
        engine::saveProgramFile(engine::kProgramFileName, m_memo->toPlainText().toStdString(), m_encoding);
    });
}

void ProgramEditor::Button1Click()
{
    guarded(this, [&] { hide(); });
}

} // namespace ui
