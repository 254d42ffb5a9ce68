#include "platform/runtime.h"

#include "platform/windows.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaProperty>
#include <QObject>

#include <cstdio>

namespace platform {

namespace {

bool &endingFlag()
{
    static bool ending = false;
    return ending;
}

ErrorReporter &reporter()
{
    static ErrorReporter current;
    return current;
}

void defaultReport(const RuntimeError &error)
{
    // The program ends after the report: no other handler runs while the user reads it.
    setEnding(true);
    const QString text = runtimeErrorText(error);
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        QMessageBox box(
            QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
        box.exec();
    }
    endProgram(untrappedErrorExitCode);
}

QMetaProperty findProperty(const QObject *object, const char *name)
{
    if (!object) {
        throw RuntimeError(errors::objectRequired, QStringLiteral("Object required"));
    }
    const QMetaObject *meta = object->metaObject();
    const int index = meta->indexOfProperty(name);
    if (index < 0) {
        throw RuntimeError(errors::unsupportedMember,
            QStringLiteral("Object doesn't support this property or method"));
    }
    return meta->property(index);
}

} // namespace

RuntimeError::RuntimeError(int number, const QString &description)
    : std::runtime_error(description.toStdString())
    , m_number(number)
    , m_description(description)
{
}

void putProperty(QObject *object, const char *name, const QVariant &value)
{
    const QMetaProperty property = findProperty(object, name);
    if (!property.isWritable()) {
        throw RuntimeError(errors::propertyReadOnly,
            QStringLiteral("'%1' property is read-only").arg(QLatin1String(name)));
    }
    if (!property.write(object, value)) {
        throw RuntimeError(errors::invalidPropertyValue, QStringLiteral("Invalid property value"));
    }
}

QVariant getProperty(const QObject *object, const char *name)
{
    return findProperty(object, name).read(object);
}

QString runtimeErrorText(const RuntimeError &error)
{
    return QStringLiteral("Run-time error '%1':\n\n%2")
        .arg(error.number())
        .arg(error.description());
}

bool isEnding()
{
    return endingFlag();
}

void setEnding(bool ending)
{
    endingFlag() = ending;
}

void setErrorReporter(ErrorReporter r)
{
    reporter() = std::move(r);
}

void reportUntrapped(const RuntimeError &error)
{
    if (reporter()) {
        reporter()(error);
    } else {
        defaultReport(error);
    }
}

} // namespace platform
