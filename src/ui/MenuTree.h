#pragma once

class QAction;
class QMenu;
class QMenuBar;

// The main window's menu tree, with the documented captions, and the hidden popup menu that
// the tray icon opens. Every item carries its control name as objectName.
struct MenuTree
{
    explicit MenuTree(QMenuBar* bar);

    QMenu* mnuFile;
    QAction* mnuFileUpdateIP;
    QAction* mnuFileGoOffline;
    QAction* mnuDileSep1;
    QAction* mnuFileExit;

    QMenu* mnuEdit;
    QAction* mnuEditOptions;

    QMenu* mnuHelp;
    QAction* mnuHelpHomepage;
    QAction* mnuHelpEmail;
    QAction* mnuHelpSep1;
    QMenu* mnuHelpBrevant;
    QAction* mnuHelpBrevantHomepage;
    QAction* mnuHelpBrevantDynDNS;
    QAction* mnuHelpSep2;
    QAction* mnuHelpAbout;

    QMenu* mnuContext;
    QAction* mnuContextRestore;
    QAction* mnuContextSep1;
    QAction* mnuContextUpdateIP;
    QAction* mnuContextGoOffline;
    QAction* mnuContextSep2;
    QAction* mnuContextOptions;
    QAction* mnuContextSep3;
    QAction* mnuContextAbout;
    QAction* mnuContextExit;
};
