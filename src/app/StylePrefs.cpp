#include "StylePrefs.h"

#include "PreferencePaneBuilder.h"

#include <appkit/NSNib.h>
#include <foundation/NSBundle.h>

namespace {
constexpr CGFloat kPaneWidth = 520;
}

static NSNibRegistration stylePrefsNib("StylePrefs", [](NSObject& owner) {
    auto& pane = dynamic_cast<StylePrefs&>(owner);
    auto self = pane.selfRef<NSObject>();
    PreferencePaneBuilder builder(kPaneWidth);
    auto sync = [&](const Ref<NSControl>& control) {
        control->setTarget(self);
        control->setAction("syncDefaults:");
    };
    sync(builder.popUp("Theme:", { "Light", "Dark", "Ultra Dark" }, "ThemeIndex"));
    sync(builder.popUp("Layout:", { "Grid", "List", "Compact List", "3D Carousel" }, "LayoutType"));
    sync(builder.popUp("3D style:", pane.themes3DKeyArray(), "Style3DIndex"));
    builder.space(8);
    builder.checkbox("Animate the 3D carousel", "Animation3D", self, "syncDefaults:");
    builder.checkbox("Full-screen panel", "FullScreenMode", self, "syncDefaults:");
    builder.checkbox("Show shortcut hints", "ShotcutsHints", self, "syncDefaults:");
    builder.checkbox("Keyboard shortcuts in the panel", "KeyboardShotcuts", self, "syncDefaults:");
    pane.setView(builder.finish());
    logMistypedSettings("Styles",
        { { "ThemeIndex", Value::Type::Integer }, { "LayoutType", Value::Type::Integer },
            { "Style3DIndex", Value::Type::Integer }, { "Animation3D", Value::Type::Bool },
            { "FullScreenMode", Value::Type::Bool }, { "ShotcutsHints", Value::Type::Bool },
            { "KeyboardShotcuts", Value::Type::Bool } });
});

StylePrefs::StylePrefs()
    : NSViewController("StylePrefs")
    , m_defaults(NSUserDefaults::standardUserDefaults())
    , m_themes3DKeyArray({ "Linear", "Rotary", "Inverted Rotary", "Cylinder", "Inverted Cylinder", "Wheel",
          "Inverted Wheel", "CoverFlow", "CoverFlow2", "Time Machine", "Inverted Time Machine", "Flip 3D" })
{
    setActionHandler("syncDefaults:", [this](const Ref<NSObject>&) { syncDefaults(); });
}

std::string StylePrefs::toolbarItemLabel() const { return NSBundle::mainBundle().localizedStringForKey("Styles", ""); }

std::optional<Ref<NSImage>> StylePrefs::toolbarItemImage() const { return paneImage("NSColorPanel"); }

void StylePrefs::syncDefaults() { m_defaults->synchronize(); }
