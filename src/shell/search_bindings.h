#pragma once
// The keyword search on the 主页 page: 搜索 and 搜索框, and the search's part of the main
// window's created step.
#include "forms/main_form.h"
#include "forms/program_state.h"
#include "net/site_settings.h"
#include "shell/handler_gate.h"

namespace mw::shell {

// `state`, `sites` and `gate` must outlive the form; the sites are read when a handler runs.
void bindSearchView(forms::MainForm& form, forms::ProgramState& state, const net::SiteSettings& sites,
                    HandlerGate& gate);

// Site page 1, the placeholder in 搜索框, the focus on 搜索.
void searchWindowCreated(forms::MainForm& form, forms::ProgramState& state);

}  // namespace mw::shell
