// A common header reaching up into the window code: the layer check must refuse it.
#include "ui/main/main_presenter.h"
