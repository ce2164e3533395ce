// The program's entry: the application object was built by static
// initialisation; run its InitInstance and, if it asks for one, its loop.
#include "framework/win_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->InitApplication(instance);
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
