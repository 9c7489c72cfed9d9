#pragma once

// Fills the hooks that lower layers own with the functions of higher layers. Runs in main
// before any task starts.
void wireHooks();
