#include "u_dm.h"

Tdm* dm = nullptr;

Tdm::Tdm(vcl::TComponent*) {}
