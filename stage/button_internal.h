// Picture buttons: child windows shaped to the non-white pixels of their picture.
#pragma once

#include <X11/Xlib.h>

#include <memory>

#include "media/picture.h"
#include "stage/controls.h"

namespace gs {

struct ButtonState {
  std::unique_ptr<Picture> picture;  // decoded normal picture, or none
  Image image;                       // rendered once
  Pixmap face = 0;                   // button-sized: the picture from the top-left, black beyond
};

bool CreatePictureButton(Control* control, Window parent);
void ReleasePictureButton(Control* control);
// Re-forms the face and shape after a size change.
void PictureButtonResized(Control* control);

}  // namespace gs
