#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <stdexcept>

class QObject;

namespace platform {

// A failure of a property access or call on a window, control or component. Handlers never
// catch it: it ends the handler and reaches the report of untrapped errors.
class RuntimeError : public std::runtime_error
{
public:
    RuntimeError(int number, const QString &description);

    int number() const { return m_number; }
    QString description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

namespace errors {
inline constexpr int invalidProcedureCall = 5;
inline constexpr int overflow = 6;
inline constexpr int invalidPropertyValue = 380;
inline constexpr int propertyReadOnly = 383;
inline constexpr int objectRequired = 424;
inline constexpr int unsupportedMember = 438;
} // namespace errors

// Writes a property by name, as a late-bound put: the object is asked for a property of that
// name at run time. Throws RuntimeError when there is no such property, it cannot be written,
// or the object refuses the value.
void putProperty(QObject *object, const char *name, const QVariant &value);
// Reads a property by name; throws RuntimeError when there is none.
QVariant getProperty(const QObject *object, const char *name);

// The text of the report of an untrapped error: its number and description.
QString runtimeErrorText(const RuntimeError &error);

// Receives untrapped runtime errors. The default one tells the user the error's number and
// description in a message box and ends the program; tests install their own.
using ErrorReporter = std::function<void(const RuntimeError &)>;
void setErrorReporter(ErrorReporter reporter);
void reportUntrapped(const RuntimeError &error);

// Once the program is ending (by its end command, or after an untrapped error was reported) no
// further handler runs. Destroying the windows at the end of a run clears this.
bool isEnding();
void setEnding(bool ending);

// Runs one handler the way the platform runs event handlers: an untrapped RuntimeError stops it
// and goes to the report. Nothing runs once the program is ending.
template <typename Fn> void runHandler(Fn &&handler)
{
    if (isEnding()) {
        return;
    }
    try {
        handler();
    } catch (const RuntimeError &error) {
        reportUntrapped(error);
    }
}

// Exit status of a program ended by an untrapped error.
inline constexpr int untrappedErrorExitCode = 3;

} // namespace platform
