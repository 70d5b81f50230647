// CTrieTree: a trie keyed by strings of K whose nodes may hold a value; used to find
// the factory of an application segment from its marker and identifier bytes.
//
// Siblings are kept in ascending order of their key element, compared as K; a char key
// is compared as a signed byte on every platform, so 0xE0 sorts before 'A'. The tree owns its
// nodes; values are copied in. Insert may allocate and returns false when memory runs out; lookups
// never allocate. Not synchronised: fill it first, then read it from any number of threads.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <type_traits>

namespace ExifLib {

template <typename K, typename V>
class CTrieTree {
public:
    struct Node {
        K key{};
        Node* next = nullptr;         // next sibling, larger key
        Node* child = nullptr;        // first child, smallest key
        std::basic_string<K> prefix;  // the key up to and including this node
        V value{};                    // empty (value-initialised) when no key ends here
    };

    CTrieTree() = default;
    CTrieTree(const CTrieTree&) = delete;
    CTrieTree& operator=(const CTrieTree&) = delete;
    virtual ~CTrieTree() { Free(m_root.child); }

    // The sibling order: a char compares as a signed byte whatever the signedness of char.
    static bool Less(K a, K b) {
        if constexpr (std::is_same_v<K, char>)
            return static_cast<signed char>(a) < static_cast<signed char>(b);
        else
            return a < b;
    }

    // Stores `value` under the `length` elements of `key`, replacing an earlier value.
    bool Insert(const K* key, std::size_t length, V value) {
        Node* node = &m_root;
        for (std::size_t i = 0; i < length; ++i) {
            Node** link = &node->child;
            while (*link != nullptr && Less((*link)->key, key[i]))
                link = &(*link)->next;
            if (*link == nullptr || (*link)->key != key[i]) {
                Node* fresh = new (std::nothrow) Node;
                if (fresh == nullptr) return false;
                try {
                    fresh->prefix.assign(key, i + 1);
                } catch (...) {
                    delete fresh;
                    return false;
                }
                fresh->key = key[i];
                fresh->next = *link;
                *link = fresh;
            }
            node = *link;
        }
        node->value = value;
        return true;
    }

    // Walks along `seq` from the root and returns the node of the shortest stored key
    // that is a prefix of `seq`, or null.
    const Node* FindFirst(const K* seq, std::size_t length) const {
        const Node* node = &m_root;
        for (std::size_t i = 0; i < length; ++i) {
            const Node* c = node->child;
            while (c != nullptr && Less(c->key, seq[i]))
                c = c->next;
            if (c == nullptr || c->key != seq[i]) return nullptr;
            if (c->value) return c;
            node = c;
        }
        return nullptr;
    }

    const Node* Root() const { return &m_root; }

private:
    // Frees a sibling list and everything below it without recursion: each node's
    // children are spliced in after it before it is deleted.
    static void Free(Node* node) {
        while (node != nullptr) {
            if (node->child != nullptr) {
                Node* last = node->child;
                while (last->next != nullptr)
                    last = last->next;
                last->next = node->next;
                node->next = node->child;
                node->child = nullptr;
            }
            Node* next = node->next;
            delete node;
            node = next;
        }
    }

    Node m_root;
};

}  // namespace ExifLib
