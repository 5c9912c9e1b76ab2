#pragma once

// Paints the endless zoom into the host's window PreviewWindow for as long as it is
// visible, then stops the painter. Ends early, cleanly, on SIGTERM, SIGINT or SIGHUP.
// Raises EYstreloError when the handle names no window (or there is no display).
void RunPreview();
