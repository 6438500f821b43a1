#pragma once

// Installs the image file handlers of the texture layer implemented with Qt's
// image classes: PNG and JPEG (and whatever else the installed image plugins
// read); PNG when writing. They need no display or application object.
void installQtImageFiles();
