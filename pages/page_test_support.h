// Helpers shared by the tests of the pages and of the main window.
#pragma once

// Registers the installer's own skin package, read once from the build
// tree, with the framework. False when the package is missing.
bool UseShippedSkin();
