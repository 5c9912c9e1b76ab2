#pragma once

class THostWindow;

// Paints the endless zoom into the host's window PreviewWindow for as long as it is
// visible, then stops the painter. Ends early, cleanly, on SIGTERM, SIGINT or SIGHUP.
// Host has waited until the window is shown and the guards are ours. Raises when the
// connection to the server is lost.
void RunPreview(THostWindow& Host);
