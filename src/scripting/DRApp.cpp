#include "DRApp.h"

#include "DRExportProtocols.h"
#include "DRWindow.h"

#include <appkit/NSWorkspace.h>
#include <foundation/Log.h>
#include <foundation/NSError.h>
#include <foundation/NSURL.h>
#include <graphics/NSImage.h>
#include <javascriptcore/JSExport.h>

namespace {
// The most windows read from one application.
constexpr long kMaximumWindowCount = 100;
}

DRApp::DRApp(Ref<NSRunningApplication> app)
    : DRAXUIElement(AXUIElementCreateApplication(app ? app->processIdentifier() : 0))
    , m_app(std::move(app))
{
}

Ref<DRApp> DRApp::withApp(const Ref<NSRunningApplication>& app) { return app ? makeRef<DRApp>(app) : nullptr; }

Ref<NSImage> DRApp::icon() const { return NSWorkspace::sharedWorkspace().iconForFile(m_app->bundleURL().value_or("")); }

Ref<DRWindow> DRApp::mainWindow() const
{
    auto element = valueForAttribute("AXMainWindow").objectAs<AXUIElement>();
    return element ? makeRef<DRWindow>(element) : nullptr;
}

std::vector<Ref<DRWindow>> DRApp::windows() const
{
    std::vector<Ref<DRWindow>> result;
    Value values = valuesForAttribute(kAXWindowsAttribute, 0, kMaximumWindowCount);
    for (size_t i = 0; i < values.count(); ++i)
        if (auto element = values.at(i).objectAs<AXUIElement>())
            result.push_back(makeRef<DRWindow>(element, selfRef<DRApp>()));
    return result;
}

std::vector<Ref<DRWindow>> DRApp::windowsWithOptions(const Value& options) const
{
    return DRWindow::filteredByOptions(windows(), options);
}

bool DRApp::activate() const { return m_app->activateWithOptions(NSApplicationActivateAllWindows); }

bool DRApp::focus() const { return m_app->activateWithOptions(NSApplicationActivateIgnoringOtherApps); }

bool DRApp::terminate(const Value& options) const
{
    return options["force"].boolValue() ? m_app->forceTerminate() : m_app->terminate();
}

Ref<DRApp> DRApp::get(const std::string& name)
{
    for (const auto& app : all())
        if (app->name() == name)
            return app;
    return nullptr;
}

Ref<DRApp> DRApp::launch(const std::string& name, const Value& options)
{
    auto& workspace = NSWorkspace::sharedWorkspace();
    auto path = workspace.fullPathForApplication(name);
    if (!path) {
        NSLog("Error: Could not find an app with the name “%@”.", name);
        return nullptr;
    }
    NSWorkspaceLaunchOptions launchOptions = options["focus"].boolValue() ? NSWorkspaceLaunchDefault : NSWorkspaceLaunchWithoutActivation;
    Ref<NSError> error;
    auto app = workspace.launchApplicationAtURL(NSURL::fileURLWithPath(*path), launchOptions, {}, &error);
    if (!app) {
        NSLog("Error: Could not launch app “%@”. (%@)", name, error ? error->description() : std::string());
        return nullptr;
    }
    return makeRef<DRApp>(app);
}

Ref<DRApp> DRApp::focused() { return withApp(NSWorkspace::sharedWorkspace().frontmostApplication()); }

std::vector<Ref<DRApp>> DRApp::all()
{
    std::vector<Ref<DRApp>> apps;
    for (const auto& app : NSWorkspace::sharedWorkspace().runningApplications())
        apps.push_back(makeRef<DRApp>(app));
    return apps;
}

const JSExportClass& DRApp::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRApp>("App")
                                        .method("processIdentifier", &DRApp::runningProcessIdentifier)
                                        .method("bundleIdentifier", &DRApp::bundleIdentifier)
                                        .method("name", &DRApp::name)
                                        .method("icon", &DRApp::icon)
                                        .method("isActive", &DRApp::isActive)
                                        .method("isHidden", &DRApp::isHidden)
                                        .method("isTerminated", &DRApp::isTerminated)
                                        .method("mainWindow", &DRApp::mainWindow)
                                        .method("windows:", &DRApp::windowsWithOptions)
                                        .method("activate", &DRApp::activate)
                                        .method("focus", &DRApp::focus)
                                        .method("show", &DRApp::show)
                                        .method("hide", &DRApp::hide)
                                        .method("terminate:", &DRApp::terminate)
                                        .classMethod("get:", &DRApp::get)
                                        .classMethod("launch:withOptionals:", &DRApp::launch, "launch")
                                        .classMethod("focused", &DRApp::focused)
                                        .classMethod("all", &DRApp::all)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}
