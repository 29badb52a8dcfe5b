// The program entry: the data module first, then the statement window, then the event loop.

#include "app/Application.h"
#include "u_L_Tavolix.h"
#include "u_dm.h"

using vcl::Application;

int main(int argc, char** argv) {
    return vcl::ProgramMain(argc, argv, [] {
        Application->Initialize();
        Application->CreateForm(dm);
        Application->CreateForm(L_Tavolix);
        Application->Run();
    });
}
