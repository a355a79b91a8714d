#include "document/bindings.h"

DS_CtrlList::~DS_CtrlList() {
    for (MediaControl* control : controls_) delete control;
}
