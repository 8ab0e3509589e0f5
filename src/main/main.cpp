#include "main/main.h"

#include "settings/settings.h"
#include "vcl/IniFiles.h"

using namespace vcl;

TForm1* Form1 = nullptr;

namespace {

TFont DialogFont(int32_t height) {
    TFont f;
    f.Name = L"ＭＳ Ｐゴシック";
    f.Height = height;
    f.Charset = SHIFTJIS_CHARSET_;
    f.Color = clWindowText;
    return f;
}

} // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner) {
    SetCaption(L"KestraneScreenSaverExecuter");
    BorderStyle = bsSingle;
    BorderIconSystemMenu = true;
    BorderIconMinimize = true;
    BorderIconMaximize = false;
    SetClientSize(293, 190);
    SetColor(clBtnFace);
    Position = poDefault;
    Font = DialogFont(-12);
    SetVisible(false); // the message loop shows the dialog

    Label1 = new TLabel(this);
    Label1->Name = L"Label1";
    Label1->SetParent(this);
    Label1->SetBounds(8, 8, 169, 13);
    Label1->SetCaption(L"スクリーンセーバーの起動間隔");
    Label1->Font = DialogFont(-13);

    Label2 = new TLabel(this);
    Label2->Name = L"Label2";
    Label2->SetParent(this);
    Label2->SetBounds(72, 168, 210, 12);
    Label2->SetCaption(L"巡回起動ソフト  Version 1.0.0");
    Label2->Font = Font;

    ScrollBar1 = new TScrollBar(this);
    ScrollBar1->Name = L"ScrollBar1";
    ScrollBar1->SetParent(this);
    ScrollBar1->SetBounds(16, 25, 209, 18);
    ScrollBar1->SetParams(1, 1, 120);
    ScrollBar1->SmallChange = 1;
    ScrollBar1->LargeChange = 1;
    ScrollBar1->PageSize = 0;
    ScrollBar1->TabOrder = 0;
    ScrollBar1->OnChange = [this](TComponent* s) { ScrollBar1Change(s); };

    Edit1 = new TEdit(this);
    Edit1->Name = L"Edit1";
    Edit1->SetParent(this);
    Edit1->SetBounds(232, 24, 49, 20);
    Edit1->SetText(L"1分");
    Edit1->Font = Font;
    Edit1->TabOrder = 1;

    RadioGroup1 = new TRadioGroup(this);
    RadioGroup1->Name = L"RadioGroup1";
    RadioGroup1->SetParent(this);
    RadioGroup1->SetBounds(16, 56, 209, 65);
    RadioGroup1->SetCaption(L"スクリーンセーバー起動順序");
    RadioGroup1->Font = Font;
    RadioGroup1->SetItems({L"順番に起動", L"ランダム（シャッフル）起動"});
    RadioGroup1->SetItemIndex(-1);
    RadioGroup1->TabOrder = 2;

    Button1 = new TButton(this);
    Button1->Name = L"Button1";
    Button1->SetParent(this);
    Button1->SetBounds(208, 136, 75, 25);
    Button1->SetCaption(L"OK");
    Button1->Font = Font;
    Button1->TabOrder = 3;
    Button1->OnClick = [this](TComponent* s) { Button1Click(s); };

    OnCreate = [this](TComponent* s) { FormCreate(s); };
}

void TForm1::FormCreate(TComponent*) { LoadSettings(); }

void TForm1::LoadSettings() {
    TIniFile ini(settings::SettingsPath());
    // The controls limit the values: 1..120 and -1..1.
    ScrollBar1->SetPosition(ini.ReadInteger(settings::kSaverSection, settings::kIntervalKey, 1));
    RadioGroup1->SetItemIndex(ini.ReadInteger(settings::kSaverSection, settings::kModeKey, 0));
}

void TForm1::SaveSettings() {
    TIniFile ini(settings::SettingsPath());
    // A refused write raises; Mode is then not attempted.
    ini.WriteInteger(settings::kSaverSection, settings::kIntervalKey, ScrollBar1->Position());
    ini.WriteInteger(settings::kSaverSection, settings::kModeKey, RadioGroup1->ItemIndex());
}

void TForm1::ScrollBar1Change(TComponent*) {
    Edit1->SetText(IntToStr(ScrollBar1->Position()) + L"分");
}

void TForm1::Button1Click(TComponent*) {
    SaveSettings();
    Close();
}
