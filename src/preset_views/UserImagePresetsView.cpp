#include "UserImagePresetsView.h"

#include "BuiltInImagePreset.h"
#include "ImagePresetsBrowser.h"
#include "PresetCardDelegates.h"
#include "PresetFormView.h"
#include "PresetKit.h"
#include "PresetLook.h"
#include "UserPresetListView.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QWidget* emptyState(QWidget* parent, const std::function<void()>& create) {
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("imagePresetsEmptyState"));
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(16);
    layout->addStretch();
    auto* icon = new QLabel(page);
    icon->setFixedSize(100, 100);
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(PresetLook::symbol(QStringLiteral("photo.badge.plus"), 60, QColor(255, 149, 0)));
    icon->setStyleSheet(QStringLiteral("background: rgba(255, 149, 0, 26); border-radius: 12px;"));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(8);
    auto* title = new QLabel(QStringLiteral("No Presets Yet"), page);
    title->setFont(PresetLook::font(18, QFont::DemiBold));
    title->setAlignment(Qt::AlignCenter);
    auto* subtitle = new QLabel(QStringLiteral("Create your first preset"), page);
    subtitle->setFont(PresetLook::font(14));
    subtitle->setAlignment(Qt::AlignCenter);
    subtitle->setStyleSheet(QStringLiteral("color: %1;").arg(PresetLook::secondary(parent).name(QColor::HexArgb)));
    texts->addWidget(title);
    texts->addWidget(subtitle);
    layout->addLayout(texts);
    auto* button = new QPushButton(QStringLiteral("Create Preset"), page);
    button->setObjectName(QStringLiteral("createPresetButton"));
    button->setAccessibleName(QStringLiteral("Create Preset"));
    button->setFont(PresetLook::font(14, QFont::Medium));
    button->setStyleSheet(QStringLiteral("QPushButton { background: rgb(255, 149, 0); color: white; border: none;"
                                         " border-radius: 8px; padding: 10px 16px; }"));
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
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QWidget* panel = PresetKit::panelBackground(16, this);
    outer->addWidget(panel);
    auto* root = new QVBoxLayout(panel);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 12, 20, 12);
    auto* title = new QLabel(QStringLiteral("Image Presets"), this);
    title->setObjectName(QStringLiteral("imagePresetsTitle"));
    title->setFont(PresetLook::font(17, QFont::DemiBold));
    QAbstractButton* close = PresetKit::closeButton(24, 14, this);
    close->setObjectName(QStringLiteral("imagePresetsClose"));
    header->addStretch();
    header->addWidget(title);
    header->addStretch();
    header->addWidget(close);
    root->addLayout(header);

    auto* tabBar = new QHBoxLayout;
    tabBar->setContentsMargins(16, 12, 16, 12);
    tabBar->setSpacing(8);
    for (const auto tab : ImagePresetsBrowser::allTabs()) {
        QAbstractButton* button =
            PresetKit::tabButton(ImagePresetsBrowser::symbol(tab), ImagePresetsBrowser::title(tab), this);
        button->setObjectName(tab == ImagePresetsBrowser::PresetsTab::builtIn ? QStringLiteral("anglesTab")
                                                                              : QStringLiteral("myPresetsTab"));
        connect(button, &QAbstractButton::clicked, browser_, [this, tab] { browser_->selectTab(tab); });
        tabs_.append(button);
        tabBar->addWidget(button);
    }
    tabBar->addStretch();
    root->addLayout(tabBar);

    pages_ = new QStackedWidget(this);
    builtInList_ = new QListView(pages_);
    builtInList_->setObjectName(QStringLiteral("builtInPresetsList"));
    builtInList_->setAccessibleName(QStringLiteral("Angles"));
    PresetLook::nameScrollBars(builtInList_, builtInList_->accessibleName());
    builtInList_->setModel(browser_->builtInPresets());
    auto* builtInDelegate = new BuiltInPresetCardDelegate(builtInList_);
    builtInList_->setItemDelegate(builtInDelegate);
    builtInList_->setSelectionMode(QAbstractItemView::NoSelection);
    builtInList_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    builtInList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    builtInList_->setFrameShape(QFrame::NoFrame);
    builtInList_->viewport()->setAutoFillBackground(false);
    connect(builtInDelegate, &BuiltInPresetCardDelegate::selectRequested, this, [this](const QModelIndex& index) {
        browser_->chooseBuiltIn(browser_->builtInPresets()->preset(index.row()));
    });
    pages_->addWidget(builtInList_);

    auto* myPage = new QWidget(pages_);
    auto* myLayout = new QVBoxLayout(myPage);
    myLayout->setContentsMargins(0, 0, 0, 0);
    myLayout->setSpacing(0);
    addTile_ = PresetKit::addPresetTile(myPage);
    addTile_->setObjectName(QStringLiteral("addNewPresetButton"));
    auto* tileRow = new QHBoxLayout;
    tileRow->setContentsMargins(16, 0, 16, 12);
    tileRow->addWidget(addTile_);
    myLayout->addLayout(tileRow);
    connect(addTile_, &QAbstractButton::clicked, browser_, &ImagePresetsBrowser::startNewPreset);
    myPresetsContent_ = new QStackedWidget(myPage);
    userList_ = new UserPresetListView(browser_->userPresets(), 16, false, myPresetsContent_);
    userList_->setObjectName(QStringLiteral("userPresetsList"));
    userList_->setAccessibleName(QStringLiteral("My Presets"));
    PresetLook::nameScrollBars(userList_, userList_->accessibleName());
    myPresetsContent_->addWidget(userList_);
    myPresetsContent_->addWidget(emptyState(myPresetsContent_, [this] { browser_->startNewPreset(); }));
    myLayout->addWidget(myPresetsContent_, 1);
    pages_->addWidget(myPage);
    root->addWidget(pages_, 1);

    connect(userList_, &UserPresetListView::selectRequested, this,
            [this](int row) { browser_->chooseOwn(browser_->userPresets()->record(row)); });
    connect(userList_, &UserPresetListView::editRequested, this,
            [this](int row) { browser_->editPreset(browser_->userPresets()->record(row)); });
    connect(userList_, &UserPresetListView::deleteRequested, this,
            [this](int row) { browser_->deletePreset(browser_->userPresets()->record(row)); });
    connect(close, &QAbstractButton::clicked, browser_, &ImagePresetsBrowser::dismiss);
    connect(browser_, &ImagePresetsBrowser::dismissRequested, this, &UserImagePresetsView::dismissRequested);
    connect(browser_, &ImagePresetsBrowser::presetSelected, this, &UserImagePresetsView::presetSelected);
    connect(browser_, &ImagePresetsBrowser::selectedTabChanged, this, &UserImagePresetsView::refresh);
    connect(browser_, &ImagePresetsBrowser::presetsCountChanged, this, &UserImagePresetsView::refresh);
    connect(browser_, &ImagePresetsBrowser::showingCreatePresetChanged, this,
            [this] { showForm(browser_->showingCreatePreset()); });
    refresh();
}

UserImagePresetsView::~UserImagePresetsView() = default;

void UserImagePresetsView::refresh() {
    const auto tabsList = ImagePresetsBrowser::allTabs();
    for (int i = 0; i < tabs_.size(); ++i)
        PresetKit::setTabSelected(tabs_[i], tabsList[i] == browser_->selectedTab());
    pages_->setCurrentIndex(browser_->selectedTab() == ImagePresetsBrowser::PresetsTab::builtIn ? 0 : 1);
    PresetKit::setPresetsCount(addTile_, browser_->presetsCount());
    myPresetsContent_->setCurrentIndex(browser_->presetsCount() > 0 ? 0 : 1);
}

void UserImagePresetsView::showForm(bool showing) {
    if (!showing) {
        if (form_) {
            form_->hide();
            form_->deleteLater();
        }
        return;
    }
    if (!form_)
        form_ = new CreateImagePresetView(browser_->form(), this);
    form_->show();
    form_->raise();
}
