// One cell of the grid: a window's preview, title and number badge. Hovering
// selects the cell and shows buttons that act on its window, and while the
// mouse is over it a two-finger scroll moves, maximises or minimises the
// window.
#pragma once

#include <appkit/NSCollectionView.h>
#include <appkit/NSEvent.h>
#include <appkit/NSTextField.h>
#include <appkit/NSTrackingArea.h>

class BadgeView;
class FBFlatButton;
class NSImageView;
class QXImageSizeTransformer;
class SWWindow;
class WindowButton;
class WindowManViewPanel;

class GridCollectionViewItem : public NSCollectionViewItem {
public:
    // Loads the interface file "GridCollectionViewItem" on first view
    // request; registers its preview transformer under its name.
    GridCollectionViewItem();
    ~GridCollectionViewItem() override;

    Ref<NSCollectionViewItem> copyItem() const override { return makeRef<GridCollectionViewItem>(); }

    // The size previews are shrunk to, and the transformer's name.
    static constexpr CGSize kPreviewSize { 240, 150 };
    static inline const std::string kTransformerName = "QXImageSizeTransformer";
    // The hover buttons' tags.
    enum Tag : long {
        TagActivate = 50,
        TagClose = 100,
        TagMinimize = 200,
        TagMaximize = 300,
        TagLeft30 = 400,
        TagLeftHalf = 500,
        TagLeft60 = 600,
        TagCenter = 700,
        TagRight60 = 800,
        TagRightHalf = 900,
        TagRight30 = 1000,
    };
    // The hover area is added this long after the cell comes on screen.
    static constexpr double kTrackingDelay = 0.8;
    // A scroll delta must pass this to count as a gesture.
    static constexpr CGFloat kScrollThreshold = 2.0;
    static constexpr CGFloat kCornerRadius = 8;
    static constexpr CGFloat kSelectedBackgroundAlpha = 0.2;
    static constexpr CGFloat kBadgeCornerRadius = 10;

    // The window the cell shows.
    Ref<SWWindow> window() const;

    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewWillDisappear() override;
    void viewDidDisappear() override;

    void windowAction(const Ref<NSObject>& sender);
    void update();
    void updatePreview();
    void updatePreviewNotif();
    void setVisibelContorls();
    void setContentView(const Ref<NSView>& view);
    void setSelected(bool flag) override;
    void updateTrackingAreas();
    void mouseEntered(const Ref<NSEvent>& event) override;
    void mouseMoved(const Ref<NSEvent>& event) override;
    void mouseExited(const Ref<NSEvent>& event) override;
    // The scroll gesture on the cell's window; answers what the monitor
    // passes on (always nothing).
    Ref<NSEvent> handleScrollEvent(const Ref<NSEvent>& event);

    // State, for the interface file and for tests.
    bool isFirst() const { return m_isFirst; }
    const Ref<NSTrackingArea>& trackingArea() const { return m_trackingArea; }
    bool hasScrollMonitor() const { return m_scrollKeyMonitor.isActive(); }
    const Ref<QXImageSizeTransformer>& previewVT() const { return m_previewVT; }
    void setPreviewVT(const Ref<QXImageSizeTransformer>& transformer) { m_previewVT = transformer; }
    const Ref<BadgeView>& badgeView() const { return m_badgeView; }
    void setBadgeView(const Ref<BadgeView>& badge) { m_badgeView = badge; }

    // Outlets, set by the interface file.
    Ref<WindowButton> closeButton() const { return m_closeButton.lock(); }
    Ref<WindowButton> minimizeButton() const { return m_minimizeButton.lock(); }
    Ref<WindowButton> maximizeButton() const { return m_maximizeButton.lock(); }
    Ref<WindowManViewPanel> windowManPanel() const { return m_windowManPanel.lock(); }
    Ref<NSTextField> titleLabel() const { return m_titleLabel.lock(); }
    Ref<FBFlatButton> badgeBtn() const { return m_badgeBtn.lock(); }
    Ref<NSImageView> previewView() const { return m_previewView.lock(); }
    void setOutlets(const Ref<WindowButton>& close, const Ref<WindowButton>& minimize,
        const Ref<WindowButton>& maximize, const Ref<WindowManViewPanel>& panel,
        const Ref<NSTextField>& title, const Ref<FBFlatButton>& badge, const Ref<NSImageView>& preview);

private:
    void removeScrollMonitor() { m_scrollKeyMonitor.reset(); }

    Ref<NSTrackingArea> m_trackingArea;
    Token m_scrollKeyMonitor;
    bool m_isFirst { false };
    Weak<WindowButton> m_closeButton;
    Weak<WindowButton> m_minimizeButton;
    Weak<WindowButton> m_maximizeButton;
    Weak<WindowManViewPanel> m_windowManPanel;
    Weak<NSTextField> m_titleLabel;
    Ref<BadgeView> m_badgeView;
    Weak<FBFlatButton> m_badgeBtn;
    Weak<NSImageView> m_previewView;
    Ref<QXImageSizeTransformer> m_previewVT;
};
