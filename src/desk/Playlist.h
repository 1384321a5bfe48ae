#pragma once
// The mixer's playlist: the songs auto play and the keys take from, top first. The mixer window
// shows it and edits it through these calls, spinx-render fills it from its list; a list kept
// between runs is saved on every change. UI thread.
#include <QObject>

#include <string>
#include <vector>

class QTimer;

namespace spinx {

class Playlist : public QObject {
    Q_OBJECT
  public:
    explicit Playlist(QObject* parent = nullptr);
    ~Playlist() override;

    int Count() const { return static_cast<int>(songs_.size()); }
    bool Empty() const { return songs_.empty(); }
    // The song on `row`, or null when there is no such row.
    const std::string* Song(int row) const;
    const std::vector<std::string>& Songs() const { return songs_; }
    bool Contains(const std::string& song) const;

    void Append(const std::vector<std::string>& songs);
    // Adds one song, or the songs of one M3U playlist; anything else is passed over. False with
    // `error` set when a playlist could not be read (too large, missing, unreadable).
    bool Add(const std::string& path, std::string* error);
    // Removes the rows marked in `gone` (one flag per row).
    void Remove(const std::vector<bool>& gone);
    // Removes every row of `song`.
    void RemoveSong(const std::string& song);
    // Moves a row one place up (or down), staying in the list: the row it landed on.
    int Move(int row, bool up);
    void Clear();
    // Takes the top row off and gives its song; "" when the list is empty.
    std::string TakeTop();

    // Restores the list kept in `file` (appended to what is listed) and keeps it there from
    // now on, saved once changes settle.
    void Keep(const std::string& file);

  signals:
    void appended(int first, int count);
    // `gone` holds a flag per row as the list stood before.
    void removed(const std::vector<bool>& gone);
    void moved(int from, int to);
    void cleared();

  private:
    void Changed();
    void SaveKept();

    std::vector<std::string> songs_;
    std::string keptFile_;
    QTimer* keepTimer_ = nullptr;
};

} // namespace spinx
