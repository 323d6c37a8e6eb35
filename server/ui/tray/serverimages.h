#pragma once

// Registers the server's image resource (":/images/"): the tray icon and the
// program's icon. The resource is compiled into the static window library,
// which does not register it by itself. Safe to call more than once.
void initServerImages();
