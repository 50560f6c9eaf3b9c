#pragma once

namespace clavora {

// SDL wakes a window's thread that waits for events by sending a message to the window
// from a second connection to the X server, even when that thread is the one sending
// (an event dispatched during the wait, such as the close request itself). The server
// may take that message only after the first connection has destroyed the window, and
// then answers BadWindow, which Xlib's default handler turns into an exit with status 1:
// a window closed while the program sat idle ended it as a failure, its files saved.
// A message addressed to a window that has gone is moot.
//
// Installed before the display opens, so that SDL's own handler passes errors on to it
// and puts it back when the display closes. Every other error goes to the handler that
// was there before (Xlib's default).
void TolerateMessagesToGoneWindows();

// The errors ignored: BadWindow in answer to a sent message.
bool IsMessageToGoneWindow(int errorCode, int requestCode);

}  // namespace clavora
