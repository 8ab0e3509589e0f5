// The settings dialog.
#pragma once

#include "vcl/Forms.h"

class TForm1 : public vcl::TForm {
  public:
    explicit TForm1(vcl::TComponent* owner);
    const wchar_t* ClassName() const override { return L"TForm1"; }

    vcl::TLabel* Label1;
    vcl::TScrollBar* ScrollBar1;
    vcl::TEdit* Edit1;
    vcl::TLabel* Label2;
    vcl::TRadioGroup* RadioGroup1;
    vcl::TButton* Button1;

    void FormCreate(vcl::TComponent* sender);
    void ScrollBar1Change(vcl::TComponent* sender);
    void Button1Click(vcl::TComponent* sender);

    void LoadSettings();
    void SaveSettings();
};

extern TForm1* Form1;
