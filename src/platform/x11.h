#pragma once
// The size of the X screen, asked of the display server through its own wire protocol (the
// connection set-up reply), so that it is known before any Qt application object exists and
// without the X client libraries. Linux and other X11 systems only.

#include <QByteArray>
#include <QSize>
#include <QString>

namespace zq::platform::x11 {

// A display name ":N", ":N.S", "unix:N.S" taken apart; host names (TCP displays) are not used.
struct DisplayName {
    bool valid = false;
    int display = 0;
    int screen = 0;
};
DisplayName parseDisplayName(const QString& name);

// The MIT-MAGIC-COOKIE-1 cookie for a local display from the text of an Xauthority file: the
// entry of family Local with this host name, or of family Wild, whose display number matches
// (or is empty). Empty when there is none.
QByteArray cookieFor(const QByteArray& xauthority, const QByteArray& hostName, int display);

// The set-up request for protocol 11.0 in little-endian order, with the cookie when given.
QByteArray setupRequest(const QByteArray& cookie);

// Bytes of the reply needed before it is whole: 8 for the header, then the header's length.
int setupReplySize(const QByteArray& header);

// Pixel size of screen `screen` from a whole, successful little-endian set-up reply; empty for
// a refusal, a short reply or a screen the server does not have.
QSize screenSizeFromSetupReply(const QByteArray& reply, int screen);

// The size of the default screen of $DISPLAY, asked over its local socket with the cookie of
// $XAUTHORITY (default ~/.Xauthority); empty when there is no reachable local display. Waits at
// most timeoutMs for the server.
QSize displayScreenSize(int timeoutMs = 1000);

} // namespace zq::platform::x11
