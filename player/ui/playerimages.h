#pragma once

// Registers the player's image resource (":/images/"): the tool-bar
// images and the program's icon. Safe to call more than once.
void initPlayerImages();
