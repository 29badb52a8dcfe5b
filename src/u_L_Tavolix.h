#pragma once
// The statement window: the editor, the run button, the database list, the connection
// indicator, the splitter bar, the result grid and the status bar.

#include "app/Form.h"
#include "app/StatusBar.h"
#include "controls/DBGrid.h"
#include "controls/Memo.h"
#include "controls/Splitter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

class TL_Tavolix : public vcl::TForm {
    Q_OBJECT
public:
    explicit TL_Tavolix(vcl::TComponent* owner);

    vcl::TMemo* mSQL;
    QFrame* Panel1;
    QPushButton* Button1;
    QComboBox* ComboBox1;
    QLabel* Label1;
    QCheckBox* CheckBox1;
    QLabel* Image1;
    vcl::TcxSplitter* cxSplitter1;
    vcl::TDBGrid* DBGrid1;
    vcl::TStatusBar* StatusBar1;

    void FormCreate();
    void Button1Click();
};

extern TL_Tavolix* L_Tavolix;
