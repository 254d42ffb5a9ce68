#pragma once

#include "platform/components.h"

#include <QStringList>
#include <QWidget>

// Stand-ins for the embedded components, for tests of the windows and handlers that must not
// depend on network or sound.

// Records every put of URL; can be told to refuse puts.
class RecordingPlayer : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString URL READ url WRITE setUrl)

public:
    explicit RecordingPlayer(QWidget *parent, const QByteArray &settings)
        : QWidget(parent)
        , m_settings(settings)
    {
        setFocusPolicy(Qt::StrongFocus);
    }

    QString url() const { return puts.isEmpty() ? QString() : puts.last(); }
    void setUrl(const QString &url) { puts.append(url); }

    QStringList puts;
    QByteArray m_settings;
};

// An empty, transparent control where an animation would play.
class StandInMovie : public QWidget
{
    Q_OBJECT

public:
    explicit StandInMovie(QWidget *parent, const QByteArray &settings)
        : QWidget(parent)
        , m_settings(settings)
    {
        setFocusPolicy(Qt::TabFocus);
    }
    QByteArray m_settings;
};

inline void registerStandIns()
{
    // The player's stored settings stand in for the block the program registers with it.
    platform::registerComponent(
        platform::mediaPlayerClass,
        [](QWidget *parent, const QByteArray &s) { return new RecordingPlayer(parent, s); },
        QByteArrayLiteral("stand-in player settings"));
    platform::registerComponent(platform::flashPlayerClass,
        [](QWidget *parent, const QByteArray &s) { return new StandInMovie(parent, s); });
}
