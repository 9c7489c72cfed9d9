#pragma once

// Fills the hooks that lower layers own with the functions of higher layers. Runs in main
// before any task starts. Each owning layer's hooks are filled in one place, wire_<owner>.cpp
// (a layer whose hooks all wait for components not built yet has none), and listed in the
// wiring table (hook_table.cpp).
void wireHooks();

void wirePlatform();
void wireSettings();
void wireOutput();
void wireCommand();
void wireNavigationData();
void wirePositioning();
void wireDifferential();
void wireFiles();
void wireGnssLink();
