// A push button drawn entirely with layers: its own layer carries the
// background and border, a shape layer shows the image as a silhouette in
// the image colour, and a text layer shows the title. Each of the four
// colours has a normal (off) and a highlight (on) value, and every change of
// state animates the layers towards the colours of the new state.
//
// The button tracks the mouse itself: a press toggles the state, leaving the
// button cancels the press and restores the state, and a release sends the
// action (a momentary button returns to its state first).
#pragma once

#include <appkit/NSButton.h>
#include <appkit/NSTrackingArea.h>
#include <graphics/NSColor.h>

class CAShapeLayer;
class CATextLayer;

class FBFlatButton : public NSButton {
public:
    // initWithFrame: and initWithCoder: alike: set-up, then both layouts.
    explicit FBFlatButton(CGRect frame = CGRectZero);

    // Adds the tracking area through which the button hears the mouse leave
    // and re-enter during a press.
    void awakeFromNib() override;

    // The layers, made on first read.
    const Ref<CAShapeLayer>& imageLayer();
    void setImageLayer(const Ref<CAShapeLayer>& layer) { m_imageLayer = layer; }
    const Ref<CATextLayer>& titleLayer();
    void setTitleLayer(const Ref<CATextLayer>& layer) { m_titleLayer = layer; }

    bool isMouseDown() const { return m_mouseDown; }
    void setMouseDown(bool flag) { m_mouseDown = flag; }
    bool isMomentary() const { return m_momentary; }
    void setMomentary(bool flag);
    double onAnimateDuration() const { return m_onAnimateDuration; }
    void setOnAnimateDuration(double seconds) { m_onAnimateDuration = seconds; }
    double offAnimateDuration() const { return m_offAnimateDuration; }
    void setOffAnimateDuration(double seconds) { m_offAnimateDuration = seconds; }
    CGFloat cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(CGFloat radius);
    CGFloat borderWidth() const { return m_borderWidth; }
    void setBorderWidth(CGFloat width);
    CGFloat spacing() const { return m_spacing; }
    void setSpacing(CGFloat spacing);

    const Ref<NSColor>& borderNormalColor() const { return m_borderNormalColor; }
    void setBorderNormalColor(const Ref<NSColor>& color);
    const Ref<NSColor>& borderHighlightColor() const { return m_borderHighlightColor; }
    void setBorderHighlightColor(const Ref<NSColor>& color);
    const Ref<NSColor>& backgroundNormalColor() const { return m_backgroundNormalColor; }
    void setBackgroundNormalColor(const Ref<NSColor>& color);
    const Ref<NSColor>& backgroundHighlightColor() const { return m_backgroundHighlightColor; }
    void setBackgroundHighlightColor(const Ref<NSColor>& color);
    const Ref<NSColor>& imageNormalColor() const { return m_imageNormalColor; }
    void setImageNormalColor(const Ref<NSColor>& color);
    const Ref<NSColor>& imageHighlightColor() const { return m_imageHighlightColor; }
    void setImageHighlightColor(const Ref<NSColor>& color);
    const Ref<NSColor>& titleNormalColor() const { return m_titleNormalColor; }
    void setTitleNormalColor(const Ref<NSColor>& color);
    const Ref<NSColor>& titleHighlightColor() const { return m_titleHighlightColor; }
    void setTitleHighlightColor(const Ref<NSColor>& color);

    // Overrides that lay the layers out again.
    void setFrame(CGRect frame) override;
    void setFont(const Ref<NSFont>& font) override;
    void setTitle(const std::string& title) override;
    void setImage(const Ref<NSImage>& image) override;
    void setImagePosition(NSCellImagePosition position) override;
    // Sets the state and runs a colour pass for it.
    void setState(NSControlStateValue state) override;

    // A disabled button is transparent to the mouse.
    Ref<NSView> hitTest(CGPoint pointInSuperview) override;
    void mouseDown(const Ref<NSEvent>& event) override;
    void mouseEntered(const Ref<NSEvent>& event) override;
    void mouseExited(const Ref<NSEvent>& event) override;
    void mouseUp(const Ref<NSEvent>& event) override;
    void mouseDragged(const Ref<NSEvent>&) override { }

    // The layers show everything; the cell draws nothing.
    void drawRect(CGRect) override { }
    bool layerShouldInheritContentsScale(CALayer&, CGFloat, NSObject*) override { return true; }

    void setup();
    void setupImageLayer();
    void setupTitleLayer();
    void removeAllAnimations();
    void animateColorWithState(NSControlStateValue state);
    void animateLayer(
        const Ref<CALayer>& layer, const Ref<NSColor>& color, const std::string& keyPath, double duration);

private:
    void toggleState();

    Ref<CAShapeLayer> m_imageLayer;
    Ref<CATextLayer> m_titleLayer;
    Ref<NSTrackingArea> m_trackingArea;
    bool m_mouseDown { false };
    bool m_momentary { false };
    double m_onAnimateDuration { 0 };
    double m_offAnimateDuration { 0 };
    CGFloat m_cornerRadius { 0 };
    CGFloat m_borderWidth { 0 };
    CGFloat m_spacing { 0 };
    Ref<NSColor> m_borderNormalColor;
    Ref<NSColor> m_borderHighlightColor;
    Ref<NSColor> m_backgroundNormalColor;
    Ref<NSColor> m_backgroundHighlightColor;
    Ref<NSColor> m_imageNormalColor;
    Ref<NSColor> m_imageHighlightColor;
    Ref<NSColor> m_titleNormalColor;
    Ref<NSColor> m_titleHighlightColor;
};
