#pragma once

#include "engine/clock.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace ui::testing {

// A clock the test sets by hand, in milliseconds.
class ManualTicks : public engine::Clock
{
public:
    engine::Microseconds now() override { return engine::Microseconds {value} * 1000; }
    void waitUntil(engine::Microseconds when) override
    {
        if (when > now()) {
            value = static_cast<std::uint32_t>((when + 999) / 1000);
        }
    }
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
    // Replaces file `name` by `bytes`; true when all of them were written.
    bool write(const QString& name, const QByteArray& bytes) const
    {
        QFile out(file(name));
        return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size();
    }
    // The bytes of file `name`, empty when it cannot be read.
    QByteArray read(const QString& name) const
    {
        QFile in(file(name));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    void remove(const QString& name) const { QFile::remove(file(name)); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace ui::testing
