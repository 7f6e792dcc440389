/* Brindlewick demo skin: a Qt style sheet in slate blue.
   To switch it on, copy this file to x/o.cjs in the program's folder and start the program;
   remove that file to switch it off again. */

QMainWindow, QWidget#ClientArea, QWidget#Form2 {
  background-color: #26313d;
}

QMenuBar {
  background-color: #1b232c;
  color: #e6edf3;
}
QMenuBar::item {
  padding: 4px 10px;
  background: transparent;
}
QMenuBar::item:selected {
  background-color: #3b6ea5;
}
QMenuBar::item:disabled {
  color: #6c7a89;
}

QGroupBox {
  color: #e6edf3;
  background-color: #2e3a47;
  border: 1px solid #4a5a6b;
  border-radius: 4px;
  margin-top: 7px;
}
QGroupBox::title {
  subcontrol-origin: margin;
  left: 8px;
  padding: 0 3px;
}
QGroupBox:disabled {
  color: #7d8b99;
}

QRadioButton {
  color: #e6edf3;
  background: transparent;
}
QRadioButton::indicator {
  width: 10px;
  height: 10px;
  border: 1px solid #9fb0c2;
  border-radius: 6px;
  background: #1b232c;
}
QRadioButton::indicator:checked {
  border: 3px solid #1b232c;
  width: 6px;
  height: 6px;
  background: #e6edf3;
}

QPushButton {
  color: #ffffff;
  background-color: #3b6ea5;
  border: 1px solid #2c5580;
  border-radius: 4px;
}
QPushButton:hover {
  background-color: #4a80ba;
}
QPushButton:pressed {
  background-color: #2c5580;
}

QSlider::groove:horizontal {
  height: 6px;
  background: #1b232c;
  border-radius: 3px;
}
QSlider::handle:horizontal {
  width: 14px;
  margin: -5px 0;
  background: #e6edf3;
  border-radius: 7px;
}
QSlider::handle:horizontal:disabled {
  background: #7d8b99;
}

QDialog {
  background-color: #2e3a47;
  color: #e6edf3;
}
QDialog QLabel {
  color: #e6edf3;
}
