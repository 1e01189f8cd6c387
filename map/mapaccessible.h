#pragma once

// How assistive technology reads the map: a graphic named "Map of the stations" whose
// description is the text the window composes for it (the box, how many stations of the list
// lie inside, the result's stations, the station picked and the part of the world in view), so
// a screen reader tells what a sighted user sees on it.

// Installs, once, the factory that gives every MapView its interface.
void installMapAccessibility();
