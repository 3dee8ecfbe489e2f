#include "UserImagePresetsView.h"

#include "Glass.h"

#include "BuiltInImagePreset.h"
#include "BuiltInImagePresetCard.h"
#include "CardListView.h"
#include "Controls.h"
#include "FocusRing.h"
#include "Glass.h"
#include "ImagePresetsBrowser.h"
#include "PresetFormView.h"
#include "PresetKit.h"
#include "ScrollBars.h"
#include "SymbolIcon.h"
#include "UserPresetListView.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// "Create Preset": the symbol "plus" and the text 8 apart, white on orange, radius 8.
QPushButton* createPresetButton(QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QStringLiteral("createPresetButton"));
    button->setAccessibleName(QStringLiteral("Create Preset"));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: rgb(255, 149, 0); border: none; border-radius: 8px; }"
                       "QPushButton:pressed { background: rgb(230, 134, 0); }"));
    FocusRing::attach(button, 8);
    auto* row = new QHBoxLayout(button);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(8);
    const QFont font = Theme::font(14, QFont::Medium);
    auto* symbol = new QLabel(button);
    symbol->setObjectName(QStringLiteral("createPresetSymbol"));
    symbol->setPixmap(symbolPixmap(QStringLiteral("plus"), 14, Qt::white, button->devicePixelRatioF()));
    symbol->setFixedSize(14, 14);
    auto* text = new QLabel(QStringLiteral("Create Preset"), button);
    text->setObjectName(QStringLiteral("createPresetText"));
    text->setFont(font);
    Controls::setTextColor(text, Qt::white);
    for (QLabel* part : {symbol, text}) {
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
        row->addWidget(part, 0, Qt::AlignVCenter);
    }
    button->setFixedSize(row->sizeHint());
    return button;
}

QWidget* emptyState(QWidget* parent, const std::function<void()>& create) {
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("imagePresetsEmptyState"));
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(16);
    layout->addStretch();
    auto* icon = new QLabel(page);
    icon->setFixedSize(100, 100);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(symbolPixmap(QStringLiteral("photo.badge.plus"), 60, QColor(255, 149, 0)));
    icon->setStyleSheet(QStringLiteral("background: rgba(255, 149, 0, 26); border-radius: 12px;"));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(8);
    PresetKit::addWrappedText(texts, QStringLiteral("No Presets Yet"), Theme::font(18, QFont::DemiBold),
                              ColorRole::primary, 0, page);
    PresetKit::addWrappedText(texts, QStringLiteral("Create your first preset"), Theme::font(14), ColorRole::secondary,
                              0, page);
    layout->addLayout(texts);
    QPushButton* button = createPresetButton(page);
    QObject::connect(button, &QPushButton::clicked, page, create);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

} // namespace

UserImagePresetsView::UserImagePresetsView(SwiftDataImagePresetsManager& manager, const QString& currentPrompt,
                                           QWidget* parent)
    : QWidget(parent), browser_(new ImagePresetsBrowser(manager, currentPrompt, this)) {
    setObjectName(QStringLiteral("UserImagePresetsView"));
    setAccessibleName(QStringLiteral("Image Presets"));
    // The panel stands opaque over the studio, with its shadow around it: the view is the panel and that margin.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* backing = new GlassPanel(this);
    backing->setObjectName(QStringLiteral("imagePresetsBacking"));
    backing->setFill(GlassPanel::Fill::windowBackground);
    backing->setCornerRadius(cornerRadius);
    backing->setShadow(QColor(0, 0, 0, 77), 30, QPointF(0, 10));
    Q_ASSERT(backing->shadowMargin() == shadowMargin);
    outer->addWidget(backing);
    auto* inside = new QVBoxLayout(backing);
    inside->setContentsMargins(shadowMargin, shadowMargin, shadowMargin, shadowMargin);
    auto* body = new QWidget(backing);
    inside->addWidget(body);
    QVBoxLayout* root = Controls::panelColumn(body, cornerRadius);
    auto* panel = static_cast<GlassPanel*>(root->parentWidget());
    panel->setObjectName(QStringLiteral("imagePresetsGlass"));
    panel->setOutline(QColor(255, 255, 255, 38));
    QAbstractButton* close =
        Controls::addHeader(root, QStringLiteral("Image Presets"), Theme::font(17, QFont::DemiBold),
                            QMargins(20, 12, 20, 12), 24, 14, QStringLiteral("imagePresets"), this);
    tabs_ = PresetKit::addTabBar(root, browser_, {QStringLiteral("anglesTab"), QStringLiteral("myPresetsTab")}, this);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName(QStringLiteral("presetPages"));
    builtInList_ = new CardListView(pages_);
    builtInList_->setObjectName(QStringLiteral("builtInPresetsList"));
    builtInList_->setAccessibleName(QStringLiteral("Angles"));
    nameScrollBars(builtInList_, builtInList_->accessibleName());
    builtInList_->setModel(browser_->builtInPresets());
    auto* builtInDelegate = new BuiltInImagePresetCard(builtInList_);
    builtInList_->setItemDelegate(builtInDelegate);
    const auto chooseBuiltIn = [this](const QModelIndex& index) {
        browser_->chooseBuiltIn(browser_->builtInPresets()->preset(index.row()));
    };
    connect(builtInDelegate, &BuiltInImagePresetCard::selectRequested, this, chooseBuiltIn);
    connect(builtInList_, &CardListView::cardChosen, this, chooseBuiltIn);
    pages_->addWidget(builtInList_);
    // The lists scroll under the panel's rounded corners, never past them.
    PresetKit::clipToPanel(builtInList_, panel);

    auto* myPage = new QWidget(pages_);
    auto* myLayout = new QVBoxLayout(myPage);
    myLayout->setContentsMargins(0, 0, 0, 0);
    myLayout->setSpacing(0);
    addTile_ = Controls::addPresetTile(myPage);
    addTile_->setObjectName(QStringLiteral("addNewPresetButton"));
    auto* tileRow = new QHBoxLayout;
    tileRow->setContentsMargins(16, 0, 16, 12);
    tileRow->addWidget(addTile_);
    myLayout->addLayout(tileRow);
    connect(addTile_, &QAbstractButton::clicked, browser_, &ImagePresetsBrowser::startNewPreset);
    myPresetsContent_ = new QStackedWidget(myPage);
    userList_ = PresetKit::addUserPresetList(myPresetsContent_, browser_, &ImagePresetsBrowser::chooseOwn,
                                             &ImagePresetsBrowser::deletePreset, 16, false);
    PresetKit::clipToPanel(userList_, panel);
    myPresetsContent_->addWidget(emptyState(myPresetsContent_, [this] { browser_->startNewPreset(); }));
    myLayout->addWidget(myPresetsContent_, 1);
    pages_->addWidget(myPage);
    root->addWidget(pages_, 1);

    PresetKit::follow(browser_, this, close, form_, [this] { refresh(); });
    connect(browser_, &ImagePresetsBrowser::dismissRequested, this, &UserImagePresetsView::dismissRequested);
    connect(browser_, &ImagePresetsBrowser::presetSelected, this, &UserImagePresetsView::presetSelected);
    refresh();
}

UserImagePresetsView::~UserImagePresetsView() = default;

void UserImagePresetsView::setCurrentPrompt(const QString& prompt) {
    browser_->setCurrentPrompt(prompt);
}

QWidget* UserImagePresetsView::firstFocus() const {
    return tabs_.value(int(browser_->allTabs().indexOf(browser_->selectedTab())));
}

void UserImagePresetsView::refresh() {
    PresetKit::showTab(*browser_, tabs_, pages_, addTile_, myPresetsContent_);
}
