#pragma once
// Binds the 编辑 page's list labels and the paging bar to their handlers.
#include "forms/main_form.h"
#include "forms/program_state.h"
#include "net/site_settings.h"
#include "shell/handler_gate.h"

namespace mw::shell {

// The sites are read at every event, so they may be set after binding. Everything passed
// must outlive the form.
void bindListView(forms::MainForm& form, forms::ProgramState& state, const net::SiteSettings& sites,
                  HandlerGate& gate);

}  // namespace mw::shell
