#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class QWidget;

// Answers modal windows for a test: whenever one becomes the active modal
// widget it is recorded and handed to `onModal`. A message box that the
// handler leaves open is confirmed with its default (OK) button; any other
// window is left to the handler.
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    explicit ModalAnswerer(QObject *parent = nullptr);

    // What each message box said: "<text>" or "<text>\n<informative text>".
    QStringList messages;
    // Object names (or class names) of other modal windows seen, in order.
    QStringList windows;
    // Called once per modal widget while it is showing.
    std::function<void(QWidget *)> onModal;

private:
    void poll();

    QTimer m_timer;
    QPointer<QWidget> m_current;
};
