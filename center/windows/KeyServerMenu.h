#pragma once

class CMainFrame;

namespace center {

class CCenterStore;

// Gives the main window its four key-server commands: "Find key on server", "Synchronize keys
// with server", "Publish key on server" and "Revoke key from server". They act on the public
// keys of `store` (the selected row for Publish and Revoke) and do nothing outside the public
// key list; after a change of the rings the keys are read again and the window refilled.
void InstallKeyServerCommands(CMainFrame& frame, CCenterStore& store);

} // namespace center
