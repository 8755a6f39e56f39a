#pragma once

#include "engine/tick_source.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace ui::testing {

// A tick counter the test sets by hand.
class ManualTicks : public engine::TickSource
{
public:
    std::uint32_t now() override { return value; }
    std::uint32_t value = 50000;
};

// A temporary folder made the current directory for the lifetime of the object, holding the files a
// test run needs (program.txt, instruction screens).
class WorkingFolder
{
public:
    WorkingFolder()
        : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
    }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile out(file(name));
        if (out.open(QIODevice::WriteOnly)) {
            out.write(bytes);
        }
    }
    void remove(const QString& name) const { QFile::remove(file(name)); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace ui::testing
