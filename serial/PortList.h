#pragma once

#include <QList>
#include <QString>

// A serial port present on this machine, as the operator may want to pick it.
struct PresentPort
{
    QString location;     // what goes into Port: "/dev/ttyUSB0", "COM3"
    QString description;  // "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString usbId;        // "0403:6001", or empty when not a USB device

    // "/dev/ttyUSB0  FT232R USB UART, FTDI, USB 0403:6001": the parts known.
    QString summary() const;
};

// The serial ports present now, in the order of their locations.
QList<PresentPort> presentPorts();

// What a Port box or a completion offers: the serial ports present, then the
// network ports used last (described as such), newest first.
QList<PresentPort> portsToOffer();
