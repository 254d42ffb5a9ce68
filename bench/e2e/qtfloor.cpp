// The least a Qt Widgets window costs for the work the main window shows at rest: a window of
// its size whose line of text takes a new colour five times a second (repainting that line only)
// and whose clock label takes a new text once a second. It is linked with the libraries the
// program loads (networking, D-Bus, the sound server's client, the MP3 decoder) but uses none
// of them, so its memory is what they and the toolkit cost before any work of the program's own.
// The benchmark runs it with X11 changes sent as the program sends them.
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QTime>
#include <QTimer>
#include <QWidget>

namespace {

class ColouredLine : public QWidget
{
public:
    using QWidget::QWidget;

    void setColour(const QColor &colour)
    {
        m_colour = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().base());
        painter.setPen(m_colour);
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("  Radio"));
    }

private:
    QColor m_colour;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Qt floor"));
    window.resize(246, 325);
    ColouredLine line(&window);
    line.setAttribute(Qt::WA_OpaquePaintEvent);
    line.setGeometry(0, 96, 241, 27);
    QLabel clock(&window);
    clock.setGeometry(0, 16, 246, 25);
    int tick = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++tick;
        line.setColour(QColor::fromRgb((tick * 53) % 256, (tick * 101) % 256, (tick * 197) % 256));
        if (tick % 5 == 0) {
            clock.setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
        }
    });
    timer.start(200);
    window.show();
    return application.exec();
}
